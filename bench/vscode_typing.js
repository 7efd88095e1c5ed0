// A writer typing in VS Code at 100,000 lines: code-server serves the workbench with the
// packed extension, headless Chromium opens a long story and types a letter before a
// label in the middle (so the jumps to it break and the story after it is lost), then
// takes it back, again and again. Each keystroke is timed until the Problems panel shows
// its line finding (the broken jump) and its walk's finding (the lines no way reaches).
// Usage: node bench/vscode_typing.js VSIX [KEYSTROKES] [LINES]   (run by
// bench/run_vscode_typing.sh, which prepares code-server as the editor test stage does)
'use strict';
const childProcess = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

const kModules = path.join(__dirname, '..', 'tests', 'editors', 'vscode', 'node_modules');
const puppeteer = require(path.join(kModules, 'puppeteer-core'));
const kServer = path.join(kModules, 'code-server', 'out', 'node', 'entry.js');
const { Chord, WaitForServer } = require(path.join(__dirname, '..', 'tests', 'editors', 'vscode', 'workbench'));
const kWait = 120000;

// Scenes of four lines, each beginning with its label and jumping to the next; the last ends.
function Story(lines) {
  const out = [];
  for (let line = 0; line + 1 < lines; ++line)
    out.push(line % 4 === 0 ? `[s${line}] A scene begins.` : line % 4 === 3 ? `It ends. >> [s${line + 1}]` : 'Prose of the scene.');
  out.push('The end. :: END');
  return out.join('\n') + '\n';
}

// Milliseconds from the next key the page receives until the Problems panel holds a row
// with `text` (or, with `gone`, none), looked for at every animation frame.
async function Until(page, text, gone) {
  const armed = await page.evaluateHandle((wanted, absent, wait) => {
    let start = null;
    window.addEventListener('keydown', () => { start = performance.now(); }, { capture: true, once: true });
    return { done: new Promise((resolve, reject) => {
      const begun = performance.now();
      const look = () => {
        const rows = [...document.querySelectorAll('.markers-panel .monaco-list-row')].map((r) => r.textContent);
        if (start !== null && rows.some((r) => r.includes(wanted)) !== absent) return resolve(performance.now() - start);
        if (performance.now() - begun > wait) return reject(new Error(`the Problems panel never ${absent ? 'lost' : 'showed'} ${wanted}`));
        requestAnimationFrame(look);
      };
      look();
    }) };
  }, text, gone, kWait);
  return { done: () => page.evaluate((handle) => handle.done, armed) };
}

function Median(values) {
  const sorted = [...values].sort((a, b) => a - b);
  return sorted[Math.floor(sorted.length / 2)];
}

async function Main([vsix, keystrokes = '15', lines = '100000']) {
  if (!vsix) throw new Error('usage: node bench/vscode_typing.js VSIX [KEYSTROKES] [LINES]');
  const count = Number(keystrokes);
  const size = Number(lines);
  const home = fs.mkdtempSync(path.join(os.tmpdir(), 'quillshade-typing-'));
  const work = path.join(home, 'work');
  const userData = path.join(home, 'user');
  const extensions = path.join(home, 'extensions');
  fs.mkdirSync(work);
  fs.mkdirSync(path.join(userData, 'User'), { recursive: true });
  const story = path.join(work, 'long.story.txt');
  fs.writeFileSync(story, Story(size));
  fs.writeFileSync(path.join(userData, 'User', 'settings.json'), JSON.stringify({
    'security.workspace.trust.enabled': false,
    'workbench.startupEditor': 'none',
    'telemetry.telemetryLevel': 'off',
    'extensions.autoCheckUpdates': false,
    'update.mode': 'none',
  }));
  const common = ['--user-data-dir', userData, '--extensions-dir', extensions];
  const install = childProcess.spawnSync(process.execPath, [kServer, ...common, '--install-extension', path.resolve(vsix)], { encoding: 'utf8' });
  if (install.status !== 0) throw new Error(`installing ${vsix} failed:\n${install.stdout}${install.stderr}`);
  const port = 20000 + (process.pid % 20000);
  const server = childProcess.spawn(process.execPath, [kServer, ...common, '--auth', 'none',
    '--bind-addr', `127.0.0.1:${port}`, '--disable-telemetry', '--disable-update-check',
    '--disable-workspace-trust', '--disable-getting-started-override', work],
  { env: { ...process.env, PATH: '/usr/bin:/bin' }, stdio: 'ignore' });
  let browser;
  try {
    const base = `http://127.0.0.1:${port}`;
    await WaitForServer(`${base}/healthz`, server, kWait);
    browser = await puppeteer.launch({
      executablePath: '/usr/bin/chromium',
      headless: true,
      args: ['--no-sandbox', '--disable-gpu', '--no-first-run', '--window-size=1280,900'],
    });
    const page = await browser.newPage();
    await page.setViewport({ width: 1280, height: 900 });
    await page.goto(`${base}/?folder=${encodeURIComponent(work)}`, { waitUntil: 'domcontentloaded' });
    await page.waitForSelector('.explorer-folders-view', { timeout: kWait });
    await Chord(page, 'Control', 'KeyP');
    await page.waitForSelector('.quick-input-widget input', { visible: true, timeout: kWait });
    await page.keyboard.type(path.basename(story));
    await page.waitForSelector('.quick-input-list .monaco-list-row', { timeout: kWait });
    await page.keyboard.press('Enter');
    await page.waitForSelector('.monaco-editor .view-line', { timeout: kWait });
    await Chord(page, 'Control', 'Shift', 'KeyM');
    await page.waitForSelector('.markers-panel', { timeout: kWait });
    // To the label line in the middle.
    const label = Math.floor(size / 8) * 4;
    await page.click('.monaco-editor .view-lines');
    await Chord(page, 'Control', 'KeyG');
    await page.waitForSelector('.quick-input-widget input', { visible: true, timeout: kWait });
    await page.keyboard.type(String(label + 1));
    await page.keyboard.press('Enter');
    await page.keyboard.press('Home');
    const lineFinding = `no line begins with '[s${label}]'`;
    const walkFinding = `no way through the story reaches lines ${label + 1} `;
    const first = [];
    const last = [];
    for (let i = 0; i < count; ++i) {
      const typed = await Until(page, lineFinding, false);
      const walked = await Until(page, walkFinding, false);
      await page.keyboard.type('x');
      first.push(await typed.done());
      last.push(await walked.done());
      // Taken back, and the walk's finding gone before the next keystroke.
      const cleared = await Until(page, walkFinding, true);
      await page.keyboard.press('Backspace');
      await cleared.done();
    }
    const ms = (v) => `${v.toFixed(0)} ms`;
    console.log(`${count} keystrokes at ${size} lines in code-server:`);
    console.log(`  line finding shown: median ${ms(Median(first))}, worst ${ms(Math.max(...first))}`);
    console.log(`  walk's finding shown: median ${ms(Median(last))}, worst ${ms(Math.max(...last))}`);
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
