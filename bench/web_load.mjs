// The web reader's load of large stories in Chromium: the time of the form's load in the
// page (the file's bytes already in the page, as a desktop reader has them on disk), the
// time from choosing the file to its first line, and the WebAssembly memory after it.
// Usage: node bench/web_load.mjs PAGE.html STORY.qsd... (with tests/web's npm packages).
import { statSync } from 'node:fs';
import { pathToFileURL } from 'node:url';
import { LaunchBrowser } from '../tests/web/browser.mjs';

const [pagePath, ...stories] = process.argv.slice(2);
const browser = await LaunchBrowser();
try {
  for (const story of stories) {
    const page = await browser.newPage();
    await page.goto(pathToFileURL(pagePath).href);
    await page.waitForFunction(() => document.title === 'Quillshade Ver.2.0');
    const chooser = page.waitForFileChooser();
    await page.evaluate(() => 0);  // the chooser is caught from here on
    await page.keyboard.press('ArrowDown');
    const started = Date.now();
    await (await chooser).accept([story]);
    await page.waitForFunction(() => performance.getEntriesByName('quillshade-load', 'measure').length > 0,
                               { timeout: 600000, polling: 50 });
    const shown = Date.now() - started;
    const { load, memory, title } = await page.evaluate(() => {
      const entry = performance.getEntriesByName('quillshade-load', 'measure')[0];
      return { load: entry.duration, memory: entry.detail.memoryBytes, title: document.title };
    });
    console.log(JSON.stringify({ story, bytes: statSync(story).size, loadSeconds: load / 1000,
                                 chosenToFirstLineSeconds: shown / 1000, wasmMemoryBytes: memory, firstLine: title }));
    await page.close();
  }
} finally {
  await browser.close();
}
