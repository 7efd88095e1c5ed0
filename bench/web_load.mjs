// The web reader's load of large stories in Chromium against the desktop reader's load of
// the same file, taken in turn so that other work on the machine slows both alike.
// Web: the form's load in the page (the bytes already in the page, as a desktop reader
// has them on disk), the time from choosing the file to its first line, and the
// WebAssembly memory after it. Desktop: quillshade_load_story STORY, the same load as
// the desktop readers run it, in a process of its own.
// Usage: node bench/web_load.mjs PAGE.html LOAD_STORY STORY.qsd... (RUNS=3 by default;
// tests/ui/web's npm packages installed).
import { execFileSync } from 'node:child_process';
import { statSync } from 'node:fs';
import { pathToFileURL } from 'node:url';
import { LaunchBrowser } from '../tests/ui/web/browser.mjs';

const [pagePath, loadStory, ...stories] = process.argv.slice(2);
const runs = Number(process.env.RUNS || 3);
const Median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

async function WebLoad(browser, story) {
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
  const shown = (Date.now() - started) / 1000;
  const { load, memory } = await page.evaluate(() => {
    const entry = performance.getEntriesByName('quillshade-load', 'measure')[0];
    return { load: entry.duration / 1000, memory: entry.detail.memoryBytes };
  });
  await page.close();
  return { load, shown, memory };
}

function DesktopLoad(story) {
  const started = process.hrtime.bigint();
  const units = Number(execFileSync(loadStory, [story]).toString());
  return { seconds: Number(process.hrtime.bigint() - started) / 1e9, units };
}

const browser = await LaunchBrowser();
try {
  for (const story of stories) {
    const web = [];
    const desktop = [];
    for (let run = 0; run < runs; ++run) {
      desktop.push(DesktopLoad(story));
      web.push(await WebLoad(browser, story));
    }
    const webLoad = Median(web.map((r) => r.load));
    const desktopLoad = Median(desktop.map((r) => r.seconds));
    const units = desktop[0].units;
    const memory = Math.max(...web.map((r) => r.memory));
    console.log(JSON.stringify({
      story, bytes: statSync(story).size, codeUnits: units,
      webLoadSeconds: webLoad, chosenToFirstLineSeconds: Median(web.map((r) => r.shown)),
      desktopLoadSeconds: desktopLoad, ratio: webLoad / desktopLoad,
      wasmMemoryMiB: memory / 1048576, boundMiB: (2 * units) / 1048576 + 64,
    }));
  }
} finally {
  await browser.close();
}
