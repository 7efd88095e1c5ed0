// The web reader end to end in a real Chromium, with real key events through the
// DevTools protocol: the steps of the desktop readers' end-to-end runs.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { copyFileSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { execFileSync } from 'node:child_process';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { pathToFileURL } from 'node:url';
import { LaunchBrowser, ServeFolder } from './browser.mjs';

const readerPage = process.env.QUILLSHADE_WEB_PAGE;
const qsd = process.env.QUILLSHADE_QSD;
const fixtures = new URL('../qt/fixtures/', import.meta.url).pathname;
const moon = join(fixtures, 'moon.qsd');
const line1 = '月の光が窓辺に差し込む。';
const line2 = '遠くで鐘が鳴っている。';
const choice1 = '扉を開けますか？';

let browser;
let folder;
let server;
before(async () => {
  assert.ok(readerPage, 'QUILLSHADE_WEB_PAGE names the reader page');
  folder = mkdtempSync(join(tmpdir(), 'quillshade-web-'));
  copyFileSync(readerPage, join(folder, 'quillshade.html'));
  copyFileSync(moon, join(folder, 'moon.qsd'));
  writeFileSync(join(folder, 'empty.qsd'), '');
  browser = await LaunchBrowser();
  server = await ServeFolder(folder);
});
after(async () => {
  await browser?.close();
  await server?.close();
  rmSync(folder, { recursive: true, force: true });
});

// A fresh tab on `url`, its errors kept, once the reader has set its starting caption.
async function Open(url, startTitle = 'Quillshade Ver.2.0') {
  const page = await browser.newPage();
  page.errors = [];
  page.on('pageerror', (error) => page.errors.push(String(error)));
  await page.goto(url);
  await TitleIs(page, startTitle, 'the starting caption');
  return page;
}

// The title as the tab reads it back: HTML collapses ASCII whitespace in it.
const Collapsed = (text) => text.replace(/[\t\n\f\r ]+/g, ' ').trim();
async function TitleIs(page, expected, what) {
  try {
    await page.waitForFunction((t) => document.title === t, { timeout: 5000 }, Collapsed(expected));
  } catch {
    assert.fail(`${what}: title is '${await page.title()}', expected '${expected}'`);
  }
}
// A key that must change nothing: the title is the same once the page has handled it.
async function StillTitle(page, expected, what) {
  await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => setTimeout(done, 50))));
  assert.equal(await page.title(), Collapsed(expected), what);
}
// A keypad digit with Num Lock on, as a keyboard sends it (the protocol's own key table
// has the keypad without Num Lock).
async function Keypad(page, digit) {
  const session = await page.createCDPSession();
  const key = { key: String(digit), code: `Numpad${digit}`, windowsVirtualKeyCode: 96 + digit, location: 3 };
  await session.send('Input.dispatchKeyEvent', { type: 'keyDown', text: String(digit), ...key });
  await session.send('Input.dispatchKeyEvent', { type: 'keyUp', ...key });
  await session.detach();
}
async function ChooseFile(page, trigger, path) {
  const chosen = page.waitForFileChooser({ timeout: 5000 });
  // The chooser is caught only once the browser has turned catching on, which it has
  // when it answers a later call; a chooser it missed would stay open in the background.
  await page.evaluate(() => 0);
  await trigger();
  const chooser = await chosen;
  assert.equal(await page.$eval('#quillshade-chooser', (input) => input.accept), '.qsd');
  await chooser.accept([path]);
}
async function Box(page) {
  await page.waitForSelector('#quillshade-box[open]', { timeout: 5000 });
  return page.evaluate(() => ({
    title: document.getElementById('quillshade-box-title').textContent,
    text: document.getElementById('quillshade-box-text').textContent,
  }));
}
async function CloseBox(page) {
  await page.keyboard.press('Enter');
  await page.waitForSelector('#quillshade-box:not([open])', { timeout: 5000 });
}

describe('the web reader', () => {
  test('reads a chosen story by its keys, hides behind a new tab and comes back unchanged', async () => {
    const page = await Open(server.url + 'quillshade.html');
    await page.keyboard.press('Digit1');
    await page.keyboard.press('ArrowUp');
    await StillTitle(page, 'Quillshade Ver.2.0', 'keys other than Down at the start');
    await ChooseFile(page, () => page.keyboard.press('ArrowDown'), moon);
    await TitleIs(page, line1, "the story's first line");
    await page.keyboard.press('ArrowDown');
    await TitleIs(page, line2, 'Down');
    await page.keyboard.press('ArrowDown');
    await TitleIs(page, choice1, 'Down to a choice');
    await page.keyboard.press('ArrowDown');
    await StillTitle(page, choice1, 'Down while a choice is pending');

    const icon = () => page.$eval('#quillshade-icon', (link) => link.getAttribute('href'));
    const readerIcon = await icon();
    await page.keyboard.press('Space');
    await TitleIs(page, 'New Tab', 'Space');
    assert.equal(await icon(), 'data:,', 'the favicon is gone while hidden');
    assert.equal(await page.$eval('#quillshade-menubar', (bar) => getComputedStyle(bar).display), 'none');
    await page.keyboard.press('Digit1');
    await page.keyboard.press('ArrowDown');
    await StillTitle(page, 'New Tab', 'keys while hidden');
    await page.keyboard.press('Space');
    await TitleIs(page, choice1, 'Space again');
    assert.equal(await icon(), readerIcon);

    await page.keyboard.down('Shift');
    await page.keyboard.press('Digit1');  // Shift is ignored: still the key 1
    await page.keyboard.up('Shift');
    await TitleIs(page, '扉の向こうに細い階段が続いていた。', 'Shift+1');
    await page.keyboard.press('ArrowDown');
    await TitleIs(page, '階段を上ると、道が二つに分かれる。', 'Down to the second choice');
    await page.keyboard.press('Space');
    await TitleIs(page, 'New Tab', 'Space at a choice');
    await page.mouse.click(100, 100);
    await TitleIs(page, '階段を上ると、道が二つに分かれる。', 'a click shows the page again');
    await page.keyboard.press('Numpad2');  // without Num Lock it is Down
    await StillTitle(page, '階段を上ると、道が二つに分かれる。', 'keypad 2 without Num Lock');
    await Keypad(page, 2);
    await TitleIs(page, '右の部屋は空っぽだった。', 'keypad 2');
    await page.keyboard.press('ArrowDown');
    await TitleIs(page, '', "an empty line before the jump's target");
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  test('a failed load shows the failure box and keeps the story; the version box; Exit empties the page', async () => {
    const page = await Open(server.url + 'quillshade.html?story=moon.qsd', line1);
    await page.keyboard.press('ArrowDown');
    await TitleIs(page, line2, 'Down');
    await ChooseFile(page, async () => {
      await page.keyboard.down('Alt');
      await page.keyboard.press('KeyF');
      await page.keyboard.up('Alt');
      assert.equal(await page.$eval('.menu.open .menu-title', (title) => title.textContent), 'ﾌｧｲﾙ(F)');
      await page.keyboard.press('KeyO');
    }, join(folder, 'empty.qsd'));
    assert.deepEqual(await Box(page), { title: 'エラー', text: 'ファイルが開けません' });
    await page.keyboard.press('ArrowDown');  // the box has the keyboard
    await CloseBox(page);
    await TitleIs(page, line2, 'the caption after the failure box');
    await page.keyboard.press('ArrowDown');
    await TitleIs(page, choice1, 'Down after a failed load');

    await page.click('.menu[data-key=KeyH] .menu-title');
    await page.click('[role=menuitem][data-item="3"]');
    assert.deepEqual(await Box(page), {
      title: 'Quillshade', text: 'Quillshade Ver.2.01\r\n\r\n(C) 2026 The Quillshade developers' });
    await CloseBox(page);
    await page.keyboard.press('Digit2');
    await TitleIs(page, 'しばらく待つと、鐘の音がやんだ。', 'the choice after the version box');

    await page.keyboard.down('Alt');
    await page.keyboard.press('KeyF');
    await page.keyboard.up('Alt');
    await page.keyboard.press('KeyX');
    await TitleIs(page, '', 'Exit');
    assert.equal(await page.evaluate(() => document.body.childElementCount), 0, 'Exit empties the page');
    await page.keyboard.press('ArrowDown');
    await StillTitle(page, '', 'a key after Exit');
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  test('a dropped file loads as File > Open does', async () => {
    const page = await Open(server.url + 'quillshade.html');
    const session = await page.createCDPSession();
    const data = { items: [], files: [moon], dragOperationsMask: 1 };
    for (const type of ['dragEnter', 'dragOver', 'drop'])
      await session.send('Input.dispatchDragEvent', { type, x: 100, y: 100, data });
    await TitleIs(page, line1, "a dropped file's first line");
    await page.close();
  });

  test('a load that ends behind the decoy leaves the decoy standing', async () => {
    const page = await Open(server.url + 'quillshade.html?story=held/moon.qsd');
    await page.keyboard.press('Space');
    await TitleIs(page, 'New Tab', 'Space while the story is on its way');
    server.release();
    await page.waitForFunction(() => performance.getEntriesByName('quillshade-load').length > 0, { timeout: 5000 });
    await StillTitle(page, 'New Tab', 'the story loaded behind the decoy');
    await page.keyboard.press('Space');
    await TitleIs(page, line1, 'Space once the story has loaded');
    await page.close();
  });

  test('?story= elsewhere than the site, or missing, fails as a missing file does', async () => {
    for (const named of ['missing.qsd', 'http://localhost:9/moon.qsd']) {
      const page = await Open(server.url + 'quillshade.html?story=' + encodeURIComponent(named));
      assert.deepEqual(await Box(page), { title: 'エラー', text: 'ファイルが開けません' }, named);
      await CloseBox(page);
      await TitleIs(page, 'Quillshade Ver.2.0', `the caption after ${named} failed`);
      await page.close();
    }
  });
});

describe('qsd publish', { skip: !qsd && 'QUILLSHADE_QSD is not set' }, () => {
  const Publish = (story, out) => execFileSync(qsd, ['publish', story, '-o', out, '--reader', readerPage]);

  test('what publish refuses, it names, and writes nothing', () => {
    const out = join(folder, 'refused.html');
    const Refused = (args) => {
      try {
        execFileSync(qsd, ['publish', ...args], { stdio: 'pipe' });
      } catch (error) {
        return { status: error.status, stderr: error.stderr.toString() };
      }
      assert.fail(`qsd publish ${args.join(' ')} succeeded`);
    };
    const cases = [
      [[moon, '-o', out, '--reader', join(folder, 'missing.html')], 1, /missing\.html: no such file/],
      [[moon, '-o', out, '--reader', moon], 1, /not a reader page/],
      [[join(folder, 'empty.qsd'), '-o', out, '--reader', readerPage], 1, /empty\.qsd/],
      [[moon, '--reader', readerPage], 2, /needs -o PAGE\.html/],
    ];
    for (const [args, status, message] of cases) {
      const refused = Refused(args);
      assert.equal(refused.status, status, args.join(' '));
      assert.match(refused.stderr, message);
      assert.throws(() => readFileSync(out), /ENOENT/, 'nothing is written');
    }
  });

  test('a published page starts its story from file://', async () => {
    const out = join(folder, 'moon.html');
    Publish(join(fixtures, 'moon.txt'), out);
    const page = await Open(pathToFileURL(out).href, line1);
    await page.keyboard.press('ArrowDown');
    await TitleIs(page, line2, 'Down in a published page');
    await page.close();
  });

  test('story text that looks like markup stays text', async () => {
    const lines = [
      '</script><script>window.injected = "script"</script>',
      '<img src=x onerror="window.injected = \'img\'">',
      '<b>  two  spaces  </b>',
      '', '',
    ];
    const source = join(folder, 'markup.txt');
    writeFileSync(source, lines.join('\n'));
    const out = join(folder, 'markup.html');
    Publish(source, out);
    const html = readFileSync(out, 'utf8');
    assert.ok(!html.includes('injected'), 'the story reaches the page as codes only');
    const page = await Open(pathToFileURL(out).href, lines[0]);
    await page.keyboard.press('ArrowDown');
    await TitleIs(page, lines[1], 'the second line');
    await page.keyboard.press('ArrowDown');
    await TitleIs(page, lines[2], 'the third line');
    await page.evaluate(() => new Promise((done) => setTimeout(done, 200)));  // an image's error would have fired
    assert.equal(await page.evaluate(() => window.injected), undefined, 'nothing of the story ran');
    assert.equal(await page.evaluate(() => document.querySelectorAll('img, b').length), 0, 'nothing of it is markup');
    assert.deepEqual(page.errors, []);
    await page.close();
  });
});
