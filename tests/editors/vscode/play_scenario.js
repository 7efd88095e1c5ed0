// The play panel in the session: "Play from here" on a line reached only once a flag is
// set, Down in the panel, and edits replayed where the writer was.
'use strict';
const fs = require('fs');
const path = require('path');
const { Chord } = require('./workbench');

// Line 6 is reached only through [key], which sets A.
const kStory = path.join(__dirname, '..', '..', 'tools', 'lsp', 'editor', 'gate.txt');

async function Command(page, name, wait) {
  await Chord(page, 'Control', 'Shift', 'KeyP');
  await page.waitForSelector('.quick-input-widget input', { visible: true, timeout: wait });
  await page.keyboard.type(name);
  await page.waitForFunction((n) => [...document.querySelectorAll('.quick-input-list .monaco-list-row')]
    .some((row) => row.textContent.includes(n)), { timeout: wait }, name);
  await page.keyboard.press('Enter');
}

// The panel's tab title as a person reads it: the page writes spaces as no-break spaces.
async function PanelTitleIs(page, expected, what, wait) {
  try {
    await page.waitForFunction((t) => [...document.querySelectorAll('.tab .label-name')]
      .some((label) => label.textContent.replace(/\u00a0/g, ' ') === t), { timeout: wait, polling: 200 }, expected);
  } catch {
    const titles = await page.evaluate(() => [...document.querySelectorAll('.tab .label-name')].map((l) => l.textContent));
    throw new Error(`${what}: no tab is titled '${expected}'; the tabs: ${JSON.stringify(titles)}`);
  }
}

async function GoToLine(page, line, wait) {
  await Chord(page, 'Control', 'KeyG');
  await page.waitForSelector('.quick-input-widget input', { visible: true, timeout: wait });
  await page.keyboard.type(String(line));
  await page.keyboard.press('Enter');
}

async function PlayScenario(page, work, wait) {
  const story = path.join(work, 'gate.story.txt');
  fs.copyFileSync(kStory, story);
  await Chord(page, 'Control', 'KeyP');
  await page.waitForSelector('.quick-input-widget input', { visible: true, timeout: wait });
  await page.keyboard.type(path.basename(story));
  await page.waitForFunction(() => [...document.querySelectorAll('.quick-input-list .monaco-list-row')]
    .some((row) => row.textContent.includes('gate.story.txt')), { timeout: wait });
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => document.querySelector('.tab.active')?.textContent.includes('gate.story.txt'), { timeout: wait });

  await GoToLine(page, 6, wait);
  await Command(page, 'Quillshade: Play from here', wait);
  await PanelTitleIs(page, 'Beyond the door, a garden.', 'Play from here on line 6', wait);

  // Down as the reader's key, in the panel's page.
  const frame = await (async () => {
    for (const deadline = Date.now() + wait; Date.now() < deadline; await new Promise((r) => setTimeout(r, 200))) {
      for (const f of page.frames()) {
        if (await f.evaluate(() => !!document.getElementById('quillshade-menubar')).catch(() => false)) return f;
      }
    }
    throw new Error('no frame holds the reader page');
  })();
  await frame.click('body');
  await page.keyboard.press('ArrowDown');
  await PanelTitleIs(page, 'Birds sing there.', 'Down in the panel', wait);

  // An edit above the line, then one of the line itself: each replays where the writer was.
  await page.click('.editor-group-container .monaco-editor .view-lines');
  await GoToLine(page, 1, wait);
  await page.keyboard.press('Home');
  await page.keyboard.type('Old: ');
  await GoToLine(page, 7, wait);
  await page.keyboard.press('Home');
  await page.keyboard.type('Small ');
  await PanelTitleIs(page, 'Small Birds sing there.', 'the edited line, played again', wait);
  return 'Play from here, Down and two edits kept the panel on its line';
}

module.exports = { PlayScenario };
