// After a keystroke VS Code sends the change, a pull of the diagnostics and a request for
// the lenses at once: the Problems panel must then show what the keystroke broke, and
// never stay as it was before.
'use strict';

// Types a letter before the label of the story's last line ("[den] …" becomes
// "x[den] …"), so that the jumps to it break, and waits for the Problems panel to say so.
async function KeystrokeShowsInProblems(page, wait) {
  await page.click('.monaco-editor .view-lines');
  await page.keyboard.down('Control');
  await page.keyboard.press('End');
  await page.keyboard.up('Control');
  await page.keyboard.press('ArrowUp');
  await page.keyboard.press('Home');
  await page.keyboard.type('x');
  return page.waitForFunction(() => {
    const rows = [...document.querySelectorAll('.markers-panel .monaco-list-row')].map((r) => r.textContent);
    return rows.find((r) => r.includes("no line begins with '[den]'")) || null;
  }, { timeout: wait, polling: 100 }).then((handle) => handle.jsonValue());
}

module.exports = { KeystrokeShowsInProblems };
