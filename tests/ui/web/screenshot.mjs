// Draws the picture for the README: Chromium's own window (headed, on the X display in
// $DISPLAY) with a Japanese story line as its tab's title, cut to the tab strip.
// Usage: node screenshot.mjs PUBLISHED_PAGE.html OUTPUT.png
import { execFileSync } from 'node:child_process';
import { pathToFileURL } from 'node:url';
import { LaunchBrowser } from './browser.mjs';

const [pagePath, output] = process.argv.slice(2);
const browser = await LaunchBrowser({ headless: false, language: 'ja', args: ['--window-position=0,0', '--window-size=900,300'] });
try {
  const [page] = await browser.pages();
  await page.goto(pathToFileURL(pagePath).href);
  // Past the decoy the page starts under and the starting caption: the story's first line.
  await page.waitForFunction(() => document.title !== QuillshadeDecoy.title && !document.title.startsWith('Quillshade'));
  await page.bringToFront();
  await new Promise((done) => setTimeout(done, 1500));  // the tab strip draws the new title
  execFileSync('import', ['-window', 'root', '-crop', '900x42+0+0', '+repage', output]);
} finally {
  await browser.close();
}
