// The web reader end to end in a real Chromium, with real key events through the
// DevTools protocol: the steps of the desktop readers' end-to-end runs.
import { after, before, describe, test } from 'node:test';
import assert from 'node:assert/strict';
import { copyFileSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { execFileSync } from 'node:child_process';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { createRequire } from 'node:module';
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
  writeFileSync(join(folder, 'elsewhere.html'), '<!DOCTYPE html><title>Elsewhere</title>');
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

// The title as a person reads it in the tab: a no-break space is a space, a zero-width
// space nothing.
const Seen = (title) => title.replace(/\u00A0/g, ' ').replace(/\u200B/g, '');
async function TitleIs(page, expected, what) {
  try {
    await page.waitForFunction((t) => document.title.replace(/\u00A0/g, ' ').replace(/\u200B/g, '') === t,
                               { timeout: 5000 }, expected);
  } catch {
    assert.fail(`${what}: title is '${Seen(await page.title())}', expected '${expected}'`);
  }
}
// A key that must change nothing: the title is the same once the page has handled it.
async function StillTitle(page, expected, what) {
  await page.evaluate(() => new Promise((done) => requestAnimationFrame(() => setTimeout(done, 50))));
  assert.equal(Seen(await page.title()), expected, what);
}
// The tab's title as the browser holds it (what its tab strip, back list and history
// show), once it reads as `expected`; it arrives a moment after the page's.
async function BrowserTitle(page, expected) {
  const session = await page.createCDPSession();
  let title;
  for (let tries = 0; tries < 50; ++tries) {
    title = (await session.send('Target.getTargetInfo')).targetInfo.title;
    if (Seen(title) === expected) break;
    await new Promise((done) => setTimeout(done, 100));
  }
  await session.detach();
  return title;
}
// Space as a keyboard sends it, `repeats` times more while it is held.
async function HoldSpace(page, repeats) {
  const session = await page.createCDPSession();
  const key = { key: ' ', code: 'Space', windowsVirtualKeyCode: 32 };
  for (let i = 0; i <= repeats; ++i)
    await session.send('Input.dispatchKeyEvent', { type: 'keyDown', text: ' ', autoRepeat: i > 0, ...key });
  await session.send('Input.dispatchKeyEvent', { type: 'keyUp', ...key });
  await session.detach();
}
// The tab's one icon: the reader's, or an image with nothing to see.
async function TabIcon(page) {
  return page.evaluate(async () => {
    const links = document.querySelectorAll('link[rel~=icon]');
    if (links.length !== 1) return `${links.length} icons`;
    if (links[0].href.startsWith('data:image/x-icon,')) return 'reader';
    const image = new Image();
    image.src = links[0].href;
    await image.decode();
    const canvas = document.createElement('canvas');
    canvas.width = image.naturalWidth;
    canvas.height = image.naturalHeight;
    const context = canvas.getContext('2d');
    context.drawImage(image, 0, 0);
    const pixels = context.getImageData(0, 0, canvas.width, canvas.height).data;
    return pixels.every((value, i) => i % 4 !== 3 || value === 0) ? 'blank' : 'an image';
  });
}
// A story file of ASCII lines: each character as its code.
const StoryOf = (lines) => lines.map((text) => [...text].map((c) => c.charCodeAt(0)).join(' ')).join(' 13 10 ') + ' 13 10';
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
    assert.equal(await TabIcon(page), 'reader', 'the favicon before a story is open');
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

    assert.equal(await TabIcon(page), 'blank', 'the favicon once a story is open');
    await page.keyboard.press('Space');
    await TitleIs(page, 'New Tab', 'Space');
    assert.equal(await TabIcon(page), 'blank', 'the favicon while hidden');
    assert.equal(await page.$eval('#quillshade-menubar', (bar) => getComputedStyle(bar).display), 'none');
    await page.keyboard.press('Digit1');
    await page.keyboard.press('ArrowDown');
    await StillTitle(page, 'New Tab', 'keys while hidden');
    await page.keyboard.press('Space');
    await TitleIs(page, choice1, 'Space again');
    assert.equal(await TabIcon(page), 'blank', 'the favicon once shown again');

    await page.keyboard.down('Shift');
    await page.keyboard.press('Digit1');  // Shift is ignored: still the key 1
    await page.keyboard.up('Shift');
    await TitleIs(page, '扉の向こうに細い階段が続いていた。', 'Shift+1');
    await page.keyboard.press('ArrowDown');
    await TitleIs(page, '階段を上ると、道が二つに分かれる。', 'Down to the second choice');
    await page.keyboard.press('Space');
    await TitleIs(page, 'New Tab', 'Space at a choice');
    await page.mouse.click(100, 100);
    await StillTitle(page, 'New Tab', 'a click, which may only bring the window forward');
    await page.mouse.click(100, 100, { count: 2 });
    await TitleIs(page, '階段を上ると、道が二つに分かれる。', 'a double-click shows the page again');
    await page.keyboard.press('Numpad2');  // without Num Lock it is Down
    await StillTitle(page, '階段を上ると、道が二つに分かれる。', 'keypad 2 without Num Lock');
    await Keypad(page, 2);
    await TitleIs(page, '右の部屋は空っぽだった。', 'keypad 2');
    await page.keyboard.press('ArrowDown');
    await TitleIs(page, '', "an empty line before the jump's target");
    // The browser names a tab with an empty title after its file: the blank must reach it,
    // and take no room.
    const blank = await BrowserTitle(page, '');
    assert.ok(blank !== '' && blank !== 'quillshade.html' && Seen(blank) === '', `the tab reads '${blank}'`);
    assert.equal(await page.evaluate((t) => document.createElement('canvas').getContext('2d').measureText(t).width, blank), 0);
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

describe('the web reader gives nothing away', () => {
  test('a held Space hides once; Space hides over an open menu and an open box', async () => {
    const page = await Open(server.url + 'quillshade.html?story=moon.qsd', line1);
    await HoldSpace(page, 5);
    await StillTitle(page, 'New Tab', 'Space held through five repeats');
    await HoldSpace(page, 5);
    await StillTitle(page, line1, 'Space held again');

    const expanded = () => page.$eval('.menu[data-key=KeyF] .menu-title', (title) => title.getAttribute('aria-expanded'));
    await page.keyboard.down('Alt');
    await page.keyboard.press('KeyF');
    await page.keyboard.up('Alt');
    assert.equal(await expanded(), 'true');
    await page.keyboard.press('Space');
    await TitleIs(page, 'New Tab', 'Space with a menu open');
    assert.equal(await page.$('.menu.open'), null, 'the menu closes');
    assert.equal(await expanded(), 'false');
    await page.keyboard.press('Space');
    await TitleIs(page, line1, 'Space after the menu');

    await page.click('.menu[data-key=KeyH] .menu-title');
    await page.click('[role=menuitem][data-item="3"]');
    await Box(page);
    const boxShown = () => page.$eval('#quillshade-box', (box) => box.open && box.checkVisibility());
    await page.keyboard.press('Space');
    await TitleIs(page, 'New Tab', 'Space with the version box up');
    assert.equal(await boxShown(), false, 'the box waits unseen');
    await page.keyboard.press('Space');
    await TitleIs(page, line1, 'Space with the box behind the decoy');
    assert.equal(await boxShown(), true, 'the box is up again, not pressed by Space');
    await CloseBox(page);
    await page.keyboard.press('ArrowDown');
    await TitleIs(page, line2, 'Down after the box');
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  test('Space during a 100 MB load hides the page before the load ends', async () => {
    const big = join(folder, 'big.qsd');
    const head = '66 105 103 13 10 ';  // "Big", then a line of 33 million A's
    const bytes = Buffer.alloc(100 * 1024 * 1024, '65 ');
    bytes.write(head);
    writeFileSync(big, bytes);
    const page = await Open(server.url + 'quillshade.html');
    await ChooseFile(page, () => page.keyboard.press('ArrowDown'), big);
    await TitleIs(page, 'Now Loading...', 'the loading notice');
    // Taken as the key is handled, right after the page has answered it.
    await page.evaluate(() => window.addEventListener('keydown', () => {
      window.answered = [document.title, performance.getEntriesByName('quillshade-load').length];
    }, { once: true }));
    await page.keyboard.press('Space');
    assert.deepEqual(await page.evaluate(() => window.answered), ['New Tab', 0], 'Space is answered while the story loads');
    await page.waitForFunction(() => performance.getEntriesByName('quillshade-load').length > 0, { timeout: 120000 });
    await StillTitle(page, 'New Tab', 'the story loaded behind the decoy');
    await page.keyboard.press('Space');
    await TitleIs(page, 'Big', "the large story's first line");
    await page.close();
    rmSync(big);
  });

  test('a page hidden when it is reloaded or left comes back hidden, with nothing of the story kept', async () => {
    const page = await Open(server.url + 'quillshade.html?story=moon.qsd', line1);
    await page.keyboard.press('ArrowDown');
    await TitleIs(page, line2, 'Down');
    await page.keyboard.press('Space');
    await TitleIs(page, 'New Tab', 'Space');
    const Hidden = async (what) => {
      await page.waitForFunction(() => performance.getEntriesByName('quillshade-load').length > 0, { timeout: 5000 });
      await StillTitle(page, 'New Tab', what);
      assert.equal(await page.evaluate(() => document.documentElement.classList.contains('decoy')), true, what);
      assert.equal(await TabIcon(page), 'blank', what);
      assert.deepEqual(await page.evaluate(() => ({ ...sessionStorage })), { 'quillshade-hidden': '1' }, 'only a flag is kept');
    };
    await page.reload();
    await Hidden('after a reload');
    await page.goto(server.url + 'elsewhere.html');
    await page.goBack();
    await Hidden('after Back');
    await page.keyboard.press('Space');
    await TitleIs(page, line1, 'Space shows the story, started again');
    assert.deepEqual(await page.evaluate(() => ({ ...sessionStorage })), {});
    await page.close();
  });

  test('the decoy is a new tab in the browser\'s own language', async () => {
    for (const language of ['ja', 'en-US']) {
      const own = await LaunchBrowser({ language });
      try {
        const page = await own.newPage();
        await page.goto('chrome://new-tab-page/');
        const newTab = await page.title();
        await page.goto(server.url + 'quillshade.html');
        await TitleIs(page, 'Quillshade Ver.2.0', 'the starting caption');
        await page.keyboard.press('Space');
        await TitleIs(page, newTab, `the decoy under ${language}`);
        if (language === 'ja') assert.equal(newTab, '新しいタブ');
      } finally {
        await own.close();
      }
    }
  });

  test('runs of spaces and a leading tab stay in the tab', async () => {
    // The reader trims spaces, never tabs, off a line's ends.
    const lines = ['two  spaces   here', '\t after a tab', 'end'];
    writeFileSync(join(folder, 'spaces.qsd'), StoryOf(lines));
    const page = await Open(server.url + 'quillshade.html?story=spaces.qsd', lines[0]);
    for (const [i, text] of lines.entries()) {
      if (i > 0) await page.keyboard.press('ArrowDown');
      await TitleIs(page, text.replace('\t', ' '), `line ${i + 1} in the page`);
      const shown = text.replace('\t', ' ');
      assert.equal(Seen(await BrowserTitle(page, shown)), shown, `line ${i + 1} as the browser holds it`);
    }
    await page.close();
  });

  test('a screen reader hears each line from a region nobody sees; menus and boxes say what they are', async () => {
    const page = await Open(server.url + 'quillshade.html?story=moon.qsd', line1);
    const session = await page.createCDPSession();
    const Tree = async () => (await session.send('Accessibility.getFullAXTree')).nodes.filter((node) => !node.ignored);
    const Property = (node, name) => node.properties?.find((p) => p.name === name)?.value.value;
    const Said = async (text) => (await Tree()).some((node) => node.name?.value === text);
    const status = (await Tree()).find((node) => node.role?.value === 'status');
    assert.equal(Property(status, 'live'), 'polite');
    assert.ok(await Said(line1), 'the line is in the live region');
    assert.equal(await page.$eval('#quillshade-line', (region) => region.getBoundingClientRect().width <= 1), true, 'unseen');
    await page.keyboard.press('ArrowDown');
    await TitleIs(page, line2, 'Down');
    assert.ok(await Said(line2), 'the next line is told');
    const fileMenu = (await Tree()).find((node) => node.name?.value === 'ﾌｧｲﾙ(F)');
    assert.equal(Property(fileMenu, 'hasPopup'), 'menu');
    assert.equal(Property(fileMenu, 'expanded'), false);
    await page.keyboard.press('Space');
    await TitleIs(page, 'New Tab', 'Space');
    assert.equal(await Said(line2), false, 'nothing of the story is told behind the decoy');
    await page.keyboard.press('Space');
    await page.click('.menu[data-key=KeyH] .menu-title');
    await page.click('[role=menuitem][data-item="3"]');
    await Box(page);
    const box = (await Tree()).find((node) => node.role?.value === 'dialog');
    assert.equal(box.name?.value, 'Quillshade');
    assert.match(box.description?.value, /^Quillshade Ver\.2\.01\s+\(C\) 2026 The Quillshade developers$/);
    await session.detach();
    await page.close();
  });
});

// The page in an editor's play pane, under the pane's own policy: the editor's messages
// load a text and replay keys; a page not made for a pane takes no message at all.
describe('the play pane', () => {
  const { PanelPage } = createRequire(import.meta.url)('../../../editors/vscode/play_panel.js');
  // ASCII story text as a story file's codes: each character's own code.
  const Codes = (text) => [...text].map((c) => c.charCodeAt(0)).join(' ');
  const story = 'One.\r\nTwo. ?? [a],[b]\r\n[a] A. :: END\r\n[b] B. >> [a]\r\n';
  const Load = (page, message) => page.evaluate((m) => window.postMessage({ type: 'load', ...m }, '*'), message);
  async function Replayed(page) {
    // The first replay told, and what was heard before it, taken off the list.
    await page.waitForFunction(() => window.heard.some((m) => m.type === 'replayed'), { timeout: 5000 });
    return page.evaluate(() => window.heard.splice(0, window.heard.findIndex((m) => m.type === 'replayed') + 1).at(-1));
  }

  test('plays the keys it is handed, replays them on a new text, and says where they part', async () => {
    writeFileSync(join(folder, 'pane.html'), PanelPage(readFileSync(readerPage, 'utf8')));
    const page = await Open(server.url + 'pane.html');
    await page.evaluate(() => { window.heard = []; window.addEventListener('message', (e) => window.heard.push(e.data)); });
    await Load(page, { codes: Codes(story), keys: 'd2', arriving: '' });
    assert.deepEqual(await Replayed(page), { type: 'replayed', keys: 'd2', played: 2, diverged: false });
    await TitleIs(page, 'B.', 'the caption after the keys');
    await page.waitForFunction(() => window.heard.some((m) => m.type === 'title' && m.title === 'B.'), { timeout: 5000 });
    // Down and the keys the reader acts on are played with those handed over.
    await page.keyboard.press('ArrowDown');
    await TitleIs(page, '', 'Down in the pane: the jump');
    await page.keyboard.press('ArrowDown');
    await TitleIs(page, 'A.', 'Down in the pane: the line jumped to');
    await Load(page, { codes: Codes(story.replace('One.', 'One, longer.')) });
    assert.equal((await Replayed(page)).played, 4);
    await TitleIs(page, 'A.', 'the place kept on the new text');
    await Load(page, { codes: Codes(story.replace('Two. ?? [a],[b]', 'Two. :: END')) });
    assert.deepEqual(await Replayed(page), { type: 'replayed', keys: 'd2dd', played: 1, diverged: true });
    assert.deepEqual(page.errors, []);
    await page.close();
  });

  test('flag D arrives set as the editor says', async () => {
    const page = await Open(server.url + 'pane.html');
    await Load(page, { codes: Codes('Start. >>D[d],[e]\r\n[d] With D.\r\n[e] Without.\r\n'), keys: 'dd', arriving: 'D' });
    await TitleIs(page, 'With D.', 'the line behind flag D');
    await page.close();
  });

  test('a page not made for a pane takes no message', async () => {
    const page = await Open(server.url + 'quillshade.html');
    await Load(page, { codes: Codes(story), keys: 'd', arriving: '' });
    await StillTitle(page, 'Quillshade Ver.2.0', 'a message to a published page');
    await page.close();
  });
});

describe('the browser\'s history', () => {
  test('keeps no story line, read at once or after a while, nor does the back list', async () => {
    const storyLines = [line1, line2, choice1];
    const kept = [];
    const own = await LaunchBrowser({
      afterClose: (profile) => {
        const history = join(profile, 'Default', 'History');
        const rows = execFileSync('sqlite3', [history, 'SELECT url, title FROM urls']).toString();
        kept.push(rows);
        // Freed pages of the database would still hold a title that was overwritten.
        const raw = readFileSync(history);
        for (const text of storyLines) {
          assert.equal(raw.includes(Buffer.from(text, 'utf8')), false, `the history file holds '${text}'`);
          assert.equal(raw.includes(Buffer.from(text, 'utf16le')), false, `the history file holds '${text}'`);
        }
      },
    });
    try {
      const page = await own.newPage();
      await page.goto(server.url + 'quillshade.html?story=moon.qsd');
      await TitleIs(page, line1, 'the first line, shown as the page loads');
      await page.keyboard.press('ArrowDown');
      await TitleIs(page, line2, 'Down at once');
      // Past the time in which the browser takes a page's new title into its history.
      await new Promise((done) => setTimeout(done, 6000));
      await page.keyboard.press('ArrowDown');
      await TitleIs(page, choice1, 'Down a while later');
      await page.goto(server.url + 'elsewhere.html');
      const session = await page.createCDPSession();
      const { entries } = await session.send('Page.getNavigationHistory');
      await session.detach();
      for (const entry of entries)
        assert.ok(!storyLines.some((text) => entry.title.includes(text)), `the back list holds '${entry.title}'`);
    } finally {
      await own.close();
    }
    assert.match(kept[0], /quillshade\.html/, 'the visit itself is in the history');
    for (const text of storyLines) assert.ok(!kept[0].includes(text), `the history holds '${text}'`);
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
