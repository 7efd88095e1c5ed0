// The tests' browser: Debian's Chromium, headless, on a fresh profile, and a small
// static server for pages that load stories beside them.
import { mkdtempSync, rmSync, createReadStream, statSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { join, resolve, sep } from 'node:path';
import puppeteer from 'puppeteer-core';

// `language` sets the browser's own language, as a user's system sets it: Chromium on
// Linux takes it from the environment. `afterClose` reads the profile once the browser
// has closed, before it is removed.
export async function LaunchBrowser({ headless = true, args = [], language, afterClose } = {}) {
  const profile = mkdtempSync(join(tmpdir(), 'quillshade-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: process.env.QUILLSHADE_CHROMIUM || '/usr/bin/chromium',
    headless,
    pipe: true,
    userDataDir: profile,
    env: language ? { ...process.env, LANGUAGE: language.replace('-', '_'), LANG: 'C.UTF-8' } : process.env,
    args: ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
           '--disable-sync', '--no-first-run', '--disable-dev-shm-usage',
           ...(language ? [`--lang=${language}`] : []), ...args],
  });
  const close = browser.close.bind(browser);
  browser.close = async () => {
    await close();
    try {
      if (afterClose) await afterClose(profile);
    } finally {
      rmSync(profile, { recursive: true, force: true, maxRetries: 5 });
    }
  };
  return browser;
}

// Serves the files under `root` on localhost; nothing outside it. A file asked for under
// /held/ is answered only once `release()` is called.
export async function ServeFolder(root) {
  const base = resolve(root);
  const held = [];
  const server = createServer((request, response) => {
    const asked = decodeURIComponent(new URL(request.url, 'http://x').pathname);
    if (asked.startsWith('/held/')) {
      held.push(() => { request.url = asked.slice('/held'.length); server.emit('request', request, response); });
      return;
    }
    const path = resolve(base, '.' + asked);
    let found = false;
    try { found = path.startsWith(base + sep) && statSync(path).isFile(); } catch { found = false; }
    if (!found) { response.writeHead(404).end(); return; }
    response.writeHead(200, { 'Content-Type': path.endsWith('.html') ? 'text/html; charset=utf-8' : 'application/octet-stream' });
    createReadStream(path).pipe(response);
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  return {
    url: `http://127.0.0.1:${server.address().port}/`,
    release: () => held.splice(0).forEach((answer) => answer()),
    close: () => new Promise((done) => server.close(done)),
  };
}
