// The web reader in Chromium: how soon it starts and answers, and its load of large
// stories against the desktop reader's load of the same file, taken in turn so that
// other work on the machine slows both alike.
// Start: the first title after navigation; the longest stretch the page is busy after it
// (a first key pressed then waits that long: the longtask entries of 50 ms and more); the
// tab's memory then (the resident memory of its renderer process); and Space answered.
// Web load: the form's load in the page (the bytes already in the page, as a desktop
// reader has them on disk), the time from choosing the file to its first line, the
// WebAssembly memory after it, the tab's memory, and Space pressed five times during the
// load: the slowest time from the key to the page's answer. Desktop: quillshade_load_story
// STORY, the same load as the desktop readers run it, in a process of its own.
// Usage: node bench/web_load.mjs PAGE.html LOAD_STORY STORY.qsd... (RUNS=3 by default;
// tests/ui/web's npm packages installed).
import { execFileSync } from 'node:child_process';
import { readdirSync, readFileSync, statSync } from 'node:fs';
import { pathToFileURL } from 'node:url';
import { LaunchBrowser } from '../tests/ui/web/browser.mjs';

const [pagePath, loadStory, ...stories] = process.argv.slice(2);
const runs = Number(process.env.RUNS || 3);
const Median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];
const Sleep = (ms) => new Promise((done) => setTimeout(done, ms));

// Every title the page sets and every key it sees, with their times since navigation.
function Watch() {
  window.seen = { titles: [], keys: [] };
  const title = Object.getOwnPropertyDescriptor(Document.prototype, 'title');
  Object.defineProperty(Document.prototype, 'title', {
    get: title.get,
    set(text) {
      title.set.call(this, text);
      window.seen.titles.push({ text: String(text).replace(/\u00A0/g, ' '), at: performance.now() });
    },
  });
  window.addEventListener('keydown', (event) => window.seen.keys.push(event.timeStamp), true);
  // Every stretch of 50 ms or more in which the page's thread could answer no key.
  window.seen.busy = [];
  new PerformanceObserver((list) => {
    for (const entry of list.getEntries()) window.seen.busy.push({ at: entry.startTime, ms: entry.duration });
  }).observe({ type: 'longtask', buffered: true });
}
// The first title `text` set at or after `from`.
const TitleAt = (page, text, from = 0) =>
  page.evaluate((t, f) => window.seen.titles.find((s) => s.text === t && s.at >= f)?.at, text, from);

// The resident memory of the largest renderer of the browser, in MiB: the tab's.
function TabMemoryMiB(browser) {
  const parents = new Map();
  const renderers = [];
  for (const name of readdirSync('/proc').filter((n) => /^\d+$/.test(n))) {
    try {
      parents.set(Number(name), Number(readFileSync(`/proc/${name}/stat`, 'utf8').replace(/^.*\) /, '').split(' ')[1]));
      if (readFileSync(`/proc/${name}/cmdline`, 'utf8').includes('--type=renderer')) renderers.push(Number(name));
    } catch {
      // a process that ended meanwhile
    }
  }
  const ours = (pid) => pid > 1 && (pid === browser.process().pid || ours(parents.get(pid)));
  const sizes = renderers.filter(ours).map((pid) => {
    const rss = /VmRSS:\s+(\d+) kB/.exec(readFileSync(`/proc/${pid}/status`, 'utf8'));
    return rss ? Number(rss[1]) / 1024 : 0;
  });
  return Math.max(0, ...sizes);
}

// A key pressed right after the first title waits at worst for the longest stretch the
// page is busy from then on; Space pressed once the page has settled shows it answering.
async function Start(browser) {
  const page = await browser.newPage();
  await page.evaluateOnNewDocument(Watch);
  await page.goto(pathToFileURL(pagePath).href);
  await page.waitForFunction(() => window.seen.titles.some((s) => s.text === 'Quillshade Ver.2.0'));
  await Sleep(1500);
  const firstTitle = await TitleAt(page, 'Quillshade Ver.2.0');
  const busy = await page.evaluate((f) => window.seen.busy.filter((b) => b.at + b.ms > f), firstTitle);
  const memory = TabMemoryMiB(browser);
  await page.keyboard.press('Space');
  await page.waitForFunction(() => document.documentElement.classList.contains('decoy'));
  const key = await page.evaluate(() => window.seen.keys[0]);
  const answered = await page.evaluate((f) => window.seen.titles.find((s) => s.at >= f)?.at, key);
  await page.close();
  return {
    firstTitleMs: firstTitle,
    busyAfterTitleMs: Math.max(0, ...busy.map((b) => b.at + b.ms - Math.max(b.at, firstTitle))),
    keyAnsweredMs: answered - key,
    tabMiB: memory,
  };
}

async function WebLoad(browser, story) {
  const page = await browser.newPage();
  await page.evaluateOnNewDocument(Watch);
  await page.goto(pathToFileURL(pagePath).href);
  await page.waitForFunction(() => document.title.replace(/\u00A0/g, ' ') === 'Quillshade Ver.2.0');
  const chooser = page.waitForFileChooser();
  await page.evaluate(() => 0);  // the chooser is caught from here on
  await page.keyboard.press('ArrowDown');
  const started = Date.now();
  await (await chooser).accept([story]);
  // Pressed by the clock, whether the page is free or not: the key's own time says how
  // long it waited.
  const spaces = [];
  await Sleep(200);
  for (let i = 0; i < 5; ++i) {
    await page.keyboard.press('Space');
    await Sleep(100);
  }
  await page.waitForFunction(() => performance.getEntriesByName('quillshade-load', 'measure').length > 0,
                             { timeout: 600000, polling: 50 });
  const shown = (Date.now() - started) / 1000;
  // Each key from its press to the page's answer (the next title), while the load went on.
  const { keys, titles, end } = await page.evaluate(() => ({
    ...window.seen, end: performance.getEntriesByName('quillshade-load')[0].startTime + performance.getEntriesByName('quillshade-load')[0].duration }));
  for (const key of keys.slice(1)) {
    const answered = titles.find((s) => s.at >= key);
    if (key < end && answered) spaces.push(answered.at - key);
  }
  const { load, memory } = await page.evaluate(() => {
    const entry = performance.getEntriesByName('quillshade-load', 'measure')[0];
    return { load: entry.duration / 1000, memory: entry.detail.memoryBytes };
  });
  const tab = TabMemoryMiB(browser);
  await page.close();
  return { load, shown, memory, tab, slowestSpaceMs: spaces.length ? Math.max(...spaces) : null, spaces: spaces.length };
}

function DesktopLoad(story) {
  const started = process.hrtime.bigint();
  const units = Number(execFileSync(loadStory, [story]).toString());
  return { seconds: Number(process.hrtime.bigint() - started) / 1e9, units };
}

const browser = await LaunchBrowser();
try {
  const starts = [];
  for (let run = 0; run < Math.max(runs, 5); ++run) starts.push(await Start(browser));
  console.log(JSON.stringify({
    firstTitleMs: Median(starts.map((s) => s.firstTitleMs)),
    busyAfterFirstTitleMs: Median(starts.map((s) => s.busyAfterTitleMs)),
    slowestBusyAfterFirstTitleMs: Math.max(...starts.map((s) => s.busyAfterTitleMs)),
    spaceAnsweredMs: Median(starts.map((s) => s.keyAnsweredMs)),
    tabMiB: Median(starts.map((s) => s.tabMiB)),
  }));
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
    const spaces = web.map((r) => r.slowestSpaceMs).filter((ms) => ms !== null);
    console.log(JSON.stringify({
      story, bytes: statSync(story).size, codeUnits: units,
      webLoadSeconds: webLoad, chosenToFirstLineSeconds: Median(web.map((r) => r.shown)),
      desktopLoadSeconds: desktopLoad, ratio: webLoad / desktopLoad,
      wasmMemoryMiB: memory / 1048576, boundMiB: (2 * units) / 1048576 + 64, tabMiB: Math.max(...web.map((r) => r.tab)),
      slowestSpaceDuringLoadMs: spaces.length ? Math.max(...spaces) : null,
      spacesDuringLoad: web.reduce((sum, r) => sum + r.spaces, 0),
    }));
  }
} finally {
  await browser.close();
}
