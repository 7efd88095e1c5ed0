// What every drive of the workbench needs: key chords as a writer presses them, and
// waiting for code-server to answer.
'use strict';

// The keys before the last held down while the last is pressed: Chord(page, 'Control', 'KeyP').
async function Chord(page, ...keys) {
  const held = keys.slice(0, -1);
  for (const key of held) await page.keyboard.down(key);
  await page.keyboard.press(keys[keys.length - 1]);
  for (const key of held.reverse()) await page.keyboard.up(key);
}

async function WaitForServer(url, server, wait) {
  const deadline = Date.now() + wait;
  while (Date.now() < deadline) {
    if (server.exitCode !== null) throw new Error(`code-server ended with status ${server.exitCode}`);
    try {
      if ((await fetch(url)).ok) return;
    } catch { /* not listening yet */ }
    await new Promise((resolve) => setTimeout(resolve, 200));
  }
  throw new Error(`code-server did not answer at ${url}`);
}

module.exports = { Chord, WaitForServer };
