// After a keystroke VS Code sends the change, a pull of the diagnostics and a request for
// the lenses at once: the Problems panel must then show what the keystroke did, and
// never stay as it was before.
'use strict';
const fs = require('fs');
const path = require('path');
const { Chord } = require('./workbench');

// Waits until the Problems panel lists a row holding `text`, or (with `gone`) none does.
function Listed(page, text, gone, wait) {
  return page.waitForFunction((wanted, absent) => {
    const rows = [...document.querySelectorAll('.markers-panel .monaco-list-row')].map((r) => r.textContent);
    return rows.some((r) => r.includes(wanted)) !== absent;
  }, { timeout: wait, polling: 100 }, text, gone);
}

// Opens a story of 10,000 lines in `work` (scenes of four lines, each jumping to the
// next), types a letter before the label in its middle, so that the jump to it breaks,
// and takes it back, a few times: the Problems panel must follow each keystroke. At this
// length a pull lost to the lens request after it did so on most keystrokes.
async function KeystrokesShowInProblems(page, work, wait) {
  const lines = [];
  for (let line = 0; line < 9999; ++line)
    lines.push(line % 4 === 0 ? `[s${line}] A scene begins.` : line % 4 === 3 ? `It ends. >> [s${line + 1}]` : 'Prose.');
  fs.writeFileSync(path.join(work, 'long.story.txt'), `${lines.join('\n')}\nThe end. :: END\n`);
  await Chord(page, 'Control', 'KeyP');
  await page.waitForSelector('.quick-input-widget input', { visible: true, timeout: wait });
  await page.keyboard.type('long.story.txt');
  // The list may first show files opened before: wait for the story's own row.
  await page.waitForFunction(() => [...document.querySelectorAll('.quick-input-list .monaco-list-row')]
    .some((row) => row.textContent.includes('long.story.txt')), { timeout: wait, polling: 100 });
  await page.keyboard.press('Enter');
  await page.waitForFunction(() => document.title.includes('long.story.txt'), { timeout: wait });
  await Chord(page, 'Control', 'KeyG');
  await page.waitForSelector('.quick-input-widget input', { visible: true, timeout: wait });
  await page.keyboard.type('5001');
  await page.keyboard.press('Enter');
  await page.keyboard.press('Home');
  const broken = "no line begins with '[s5000]'";
  for (let i = 0; i < 3; ++i) {
    await page.keyboard.type('x');
    await Listed(page, broken, false, wait);
    await page.keyboard.press('Backspace');
    await Listed(page, broken, true, wait);
  }
}

module.exports = { KeystrokesShowInProblems };
