// A VS Code session against the packed extension: code-server serves the workbench,
// headless Chromium opens a story with a planted fault, and the fault must show in the
// Problems panel, found by the qsd inside the .vsix, while the grammar colours a label.
// Usage: node session.js VSIX STORY   (code-server and puppeteer-core from this folder)
'use strict';
const childProcess = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const puppeteer = require('puppeteer-core');
const { WaitForServer } = require('./workbench');

const kServer = path.join(__dirname, 'node_modules', 'code-server', 'out', 'node', 'entry.js');
const kWait = 60000;

function Run(args, options) {
  const result = childProcess.spawnSync(process.execPath, [kServer, ...args], { encoding: 'utf8', ...options });
  if (result.status !== 0) throw new Error(`code-server ${args.join(' ')} failed:\n${result.stdout}${result.stderr}`);
}

async function Session(page, base, work, story) {
  await page.goto(`${base}/?folder=${encodeURIComponent(work)}`, { waitUntil: 'domcontentloaded' });
  await page.waitForSelector('.monaco-workbench', { timeout: kWait });
  // Quick Open, then the story's name.
  await page.waitForSelector('.explorer-folders-view', { timeout: kWait });
  await page.keyboard.down('Control');
  await page.keyboard.press('KeyP');
  await page.keyboard.up('Control');
  await page.waitForSelector('.quick-input-widget input', { visible: true, timeout: kWait });
  await page.keyboard.type(path.basename(story));
  await page.waitForSelector('.quick-input-list .monaco-list-row', { timeout: kWait });
  await page.keyboard.press('Enter');
  await page.waitForSelector('.monaco-editor .view-line', { timeout: kWait });

  // The label on the first line coloured apart from the text after it.
  const colours = await page.waitForFunction(() => {
    const line = [...document.querySelectorAll('.monaco-editor .view-line')].find((l) => l.textContent.startsWith('[start]'));
    if (!line) return null;
    // The editor writes spaces as no-break spaces.
    const spans = [...line.querySelectorAll('span > span')].map((s) => [s, s.textContent.replace(/\u00a0/g, ' ')]);
    const label = spans.find(([, t]) => t === '[start]')?.[0];
    const text = spans.find(([, t]) => t.includes('The fox waits'))?.[0];
    if (!label || !text) return null;
    return { label: getComputedStyle(label).color, text: getComputedStyle(text).color };
  }, { timeout: kWait, polling: 200 }).then((handle) => handle.jsonValue());
  if (colours.label === colours.text) throw new Error(`the label is not coloured: both ${colours.label}`);

  // The Problems panel lists the planted fault.
  await page.keyboard.down('Control');
  await page.keyboard.down('Shift');
  await page.keyboard.press('KeyM');
  await page.keyboard.up('Shift');
  await page.keyboard.up('Control');
  const problem = await page.waitForFunction(() => {
    const rows = [...document.querySelectorAll('.markers-panel .monaco-list-row')].map((r) => r.textContent);
    return rows.find((r) => r.includes("no line begins with '[gone]'")) || null;
  }, { timeout: kWait, polling: 200 }).then((handle) => handle.jsonValue());
  await require('./bracket_completion').CompleteAfterAClosedBracket(page);
  await require('./keystroke_panel').KeystrokesShowInProblems(page, work, 20000);
  console.log(`VS Code session: ${await require('./play_scenario').PlayScenario(page, work, kWait)}`);
  return { colours, problem };
}

async function Main([vsix, story]) {
  if (!vsix || !story) throw new Error('usage: node session.js VSIX STORY');
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'quillshade-vscode-'));
  const work = path.join(home, 'work');
  const userData = path.join(home, 'user');
  const extensions = path.join(home, 'extensions');
  fs.mkdirSync(work);
  fs.mkdirSync(path.join(userData, 'User'), { recursive: true });
  fs.copyFileSync(story, path.join(work, path.basename(story)));
  // The grammar alone colours the text: the server's semantic colours are turned off.
  fs.writeFileSync(path.join(userData, 'User', 'settings.json'), JSON.stringify({
    'editor.semanticHighlighting.enabled': false,
    'editor.bracketPairColorization.enabled': false,
    'security.workspace.trust.enabled': false,
    'workbench.startupEditor': 'none',
    'telemetry.telemetryLevel': 'off',
    'extensions.autoCheckUpdates': false,
    'update.mode': 'none',
  }));
  const common = ['--user-data-dir', userData, '--extensions-dir', extensions];
  Run([...common, '--install-extension', path.resolve(vsix)]);

  // No qsd on PATH: the extension must run the one packed inside it.
  const env = { ...process.env, PATH: '/usr/bin:/bin' };
  const port = 20000 + (process.pid % 20000);
  const server = childProcess.spawn(process.execPath, [kServer, ...common, '--auth', 'none',
    '--bind-addr', `127.0.0.1:${port}`, '--disable-telemetry', '--disable-update-check',
    '--disable-workspace-trust', '--disable-getting-started-override', work], { env, stdio: ['ignore', 'pipe', 'pipe'] });
  let log = '';
  server.stdout.on('data', (d) => { log += d; });
  server.stderr.on('data', (d) => { log += d; });
  let browser;
  try {
    const base = `http://127.0.0.1:${port}`;
    await WaitForServer(`${base}/healthz`, server, kWait);
    browser = await puppeteer.launch({
      executablePath: '/usr/bin/chromium',
      headless: true,
      args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
        '--disable-sync', '--no-first-run', '--window-size=1280,900'],
    });
    const page = await browser.newPage();
    await page.setViewport({ width: 1280, height: 900 });
    const { colours, problem } = await Session(page, base, work, story);
    console.log(`VS Code session: the label coloured ${colours.label} beside ${colours.text}; Problems: ${problem}`);
    console.log(await require('./server_control').ServerControl(page, { extensions, pictures: process.env.PICTURES }));
  } catch (error) {
    console.error(log);
    const page = browser && (await browser.pages())[1];
    if (page && process.env.SCREENSHOT) await page.screenshot({ path: process.env.SCREENSHOT });
    throw error;
  } finally {
    if (browser) await browser.close();
    server.kill();
    fs.rmSync(home, { recursive: true, force: true });
  }
}

Main(process.argv.slice(2)).catch((error) => {
  console.error(error.stack || String(error));
  process.exitCode = 1;
});
