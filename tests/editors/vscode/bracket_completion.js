// A label completed after a bracket the editor closed by itself: typing "Go >> [" leaves
// "[]", and taking "[woods]" must leave the label once, not "[woods]]".
'use strict';

const kWait = 60000;

// The text of the editor's line that begins with `start`, spaces as typed.
async function LineText(page, start) {
  return page.evaluate((start) => {
    const lines = [...document.querySelectorAll('.monaco-editor .view-line')].map((l) => l.textContent.replace(/\u00a0/g, ' '));
    return lines.find((l) => l.startsWith(start)) ?? null;
  }, start);
}

async function CompleteAfterAClosedBracket(page) {
  await page.click('.monaco-editor .view-lines');
  await page.keyboard.down('Control');
  await page.keyboard.press('End');
  await page.keyboard.up('Control');
  // The story ends with a line break: its last line is empty.
  // As a writer types: keys typed at once cancel the completion the bracket asked for.
  await page.keyboard.type('Go >> [', { delay: 100 });
  const closed = await LineText(page, 'Go >> ');
  if (closed !== 'Go >> []') throw new Error(`the bracket was not closed as it was typed: ${JSON.stringify(closed)}`);
  // The bracket asks for the labels; typing on filters them as a writer types.
  const suggestion = (name) => page.waitForFunction((name) => [...document.querySelectorAll('.suggest-widget .monaco-list-row')]
    .some((row) => row.textContent.includes(name)), { timeout: kWait, polling: 100 }, name);
  await suggestion('[den]');
  await page.keyboard.type('wo', { delay: 100 });
  await suggestion('[woods]');
  await page.keyboard.press('Enter');
  const taken = await page.waitForFunction(() => {
    const lines = [...document.querySelectorAll('.monaco-editor .view-line')].map((l) => l.textContent.replace(/\u00a0/g, ' '));
    const line = lines.find((l) => l.startsWith('Go >> '));
    return line && line !== 'Go >> [wo]' ? line : null;
  }, { timeout: kWait, polling: 100 }).then((handle) => handle.jsonValue());
  if (taken !== 'Go >> [woods]') throw new Error(`taking [woods] after an auto-closed bracket left ${JSON.stringify(taken)}`);
  // Leave the story as it was for what follows.
  for (let undo = 0; undo < 10 && (await LineText(page, 'G')) !== null; ++undo) {
    await page.keyboard.down('Control');
    await page.keyboard.press('KeyZ');
    await page.keyboard.up('Control');
  }
  if ((await LineText(page, 'G')) !== null) throw new Error('the completed line could not be undone');
  return taken;
}

module.exports = { CompleteAfterAClosedBracket };
