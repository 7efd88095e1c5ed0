// The extension's control of its server in a running VS Code: the README's pictures taken
// from the session, a width setting changed live, the restart command, and a qsdPath
// changed live, each as a writer does it. Runs after session.js has opened fox.story.txt
// and its Problems panel.
'use strict';
const fs = require('fs');
const path = require('path');
const { Chord } = require('./workbench');

const kWait = 60000;

// The pids of the `qsd lsp` processes run from the extensions folder.
function ServerPids(extensions) {
  const pids = [];
  for (const pid of fs.readdirSync('/proc').filter((name) => /^\d+$/.test(name))) {
    let argv;
    try {
      argv = fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8').split('\0');
    } catch {
      continue;  // ended meanwhile
    }
    if (argv[0].startsWith(extensions) && path.basename(argv[0]) === 'qsd' && argv[1] === 'lsp') pids.push(Number(pid));
  }
  return pids;
}

async function WaitFor(what, check) {
  const deadline = Date.now() + kWait;
  for (;;) {
    const found = await check();
    if (found) return found;
    if (Date.now() > deadline) throw new Error(`waited ${kWait / 1000} s for ${what}`);
    await new Promise((resolve) => setTimeout(resolve, 200));
  }
}

// A finding in the Problems panel, looked for through the panel's filter: the list draws
// only the rows that fit.
async function Problem(page, text) {
  const filter = await page.waitForSelector('.viewpane-filter input', { visible: true, timeout: kWait });
  await filter.click({ clickCount: 3 });
  await page.keyboard.type(text);
  const handle = await page.waitForFunction((wanted) => {
    const rows = [...document.querySelectorAll('.markers-panel .monaco-list-row')].map((r) => r.textContent);
    return rows.find((r) => r.includes(wanted)) || null;
  }, { timeout: kWait, polling: 200 }, text);
  return handle.jsonValue();
}

async function RunCommand(page, title) {
  await Chord(page, 'Control', 'Shift', 'KeyP');
  await page.waitForSelector('.quick-input-widget input', { visible: true, timeout: kWait });
  await page.keyboard.type(title);
  await page.waitForFunction((wanted) => [...document.querySelectorAll('.quick-input-list .monaco-list-row')]
    .some((r) => r.textContent.includes(wanted)), { timeout: kWait, polling: 200 }, title);
  await page.keyboard.press('Enter');
}

// Sets a setting as a writer does, in the settings editor, which stays open after; the
// editor titles it by its words ("Qsd Path"). A setting of the machine is set on the
// tab of the machine the server runs on, which this window reaches as a remote.
async function SetSetting(page, key, title, value, tab = 'User') {
  await Chord(page, 'Control', 'Comma');
  const search = await page.waitForSelector('.settings-editor .suggest-input-container', { visible: true, timeout: kWait });
  await search.click();
  await Chord(page, 'Control', 'KeyA');
  await page.keyboard.type(key);
  const tabs = await page.$$('.settings-editor .settings-tabs-widget .action-label');
  for (const label of tabs) if ((await label.evaluate((l) => l.textContent)).startsWith(tab)) await label.click();
  const input = await page.waitForFunction((title) => {
    const item = [...document.querySelectorAll('.settings-editor .setting-item')]
      .find((i) => i.offsetParent && i.querySelector('.setting-item-title')?.textContent.includes(title));
    return item?.querySelector('.setting-item-control input') || null;
  }, { timeout: kWait, polling: 200 }, title);
  await input.asElement().click({ clickCount: 3 });
  await page.keyboard.type(String(value));
}

// The README's pictures: the findings in the editor and the Problems panel, and a hover.
async function TakePictures(page, folder) {
  fs.mkdirSync(folder, { recursive: true });
  // Other scenarios leave other stories in front: bring the fox story back from the explorer.
  const row = await page.waitForFunction(() => [...document.querySelectorAll('.explorer-folders-view .monaco-list-row')]
    .find((r) => r.textContent.trim().startsWith('fox.story.txt')) || null, { timeout: kWait, polling: 100 });
  await row.asElement().click();
  await page.waitForFunction(() => document.title.includes('fox.story.txt'), { timeout: kWait, polling: 100 });
  await page.waitForFunction(() => [...document.querySelectorAll('.codelens-decoration')]
    .some((l) => l.textContent.includes('never reached')), { timeout: kWait, polling: 200 });
  await page.screenshot({ path: path.join(folder, 'checks.png') });
  const line = await page.waitForFunction(() => [...document.querySelectorAll('.monaco-editor .view-line span > span')]
    .find((s) => s.textContent.replace(/\u00a0/g, ' ').includes('The woods are dark')) || null, { timeout: kWait, polling: 200 });
  const box = await line.asElement().boundingBox();
  // The editor shows a hover after the pointer has moved over the text and rested there.
  await page.mouse.move(box.x + 2, box.y + box.height / 2);
  await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2, { steps: 5 });
  await page.waitForFunction(() => [...document.querySelectorAll('.monaco-hover')]
    .some((h) => !h.classList.contains('hidden') && h.textContent.includes('columns')), { timeout: kWait, polling: 200 });
  await new Promise((resolve) => setTimeout(resolve, 500));  // the hover fades in
  // The story's editor alone, from its tab down to below the hover.
  const editor = await (await page.$('.editor-group-container')).boundingBox();
  await page.screenshot({ path: path.join(folder, 'hover.png'), clip: { ...editor, height: 300 }, captureBeyondViewport: false });
  await page.mouse.move(0, 0);
  await page.keyboard.press('Escape');
}

async function ServerControl(page, { extensions, pictures }) {
  if (pictures) await TakePictures(page, pictures);

  // The restart command ends the server and starts another, which answers an edit.
  const [before] = await WaitFor('a qsd lsp process', () => ServerPids(extensions));
  await RunCommand(page, 'Quillshade: Restart the story server');
  const [after] = await WaitFor('a new qsd lsp process', () => {
    const pids = ServerPids(extensions);
    return !pids.includes(before) && pids;
  });
  await page.click('.monaco-editor .view-lines');
  await Chord(page, 'Control', 'KeyG');
  await page.waitForSelector('.quick-input-widget input', { visible: true, timeout: kWait });
  await page.keyboard.type('5');
  await page.keyboard.press('Enter');
  await page.keyboard.type('x');  // "[woods] …" loses its label
  const edited = await Problem(page, "no line begins with '[woods]'");

  // A narrower title bar finds the first line too wide, with no reload of the window.
  await SetSetting(page, 'quillshade.width', 'Width', 20);
  const narrow = await Problem(page, 'title bar shows about 20');

  // Another qsdPath restarts the server with that program, and says so when it is none.
  await SetSetting(page, 'quillshade.qsdPath', 'Qsd Path', '/nowhere/qsd', 'Remote');
  await page.waitForFunction(() => [...document.querySelectorAll('.notification-list-item')]
    .some((n) => n.textContent.includes('/nowhere/qsd, which is not a program')), { timeout: kWait, polling: 200 });
  await WaitFor('the server to end', () => !ServerPids(extensions).includes(after));
  return `width 20 live: ${narrow}; restarted (pid ${before} → ${after}): ${edited}; a qsdPath of no program said so`;
}

module.exports = { ServerControl };
