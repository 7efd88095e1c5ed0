// The page side of the web reader: the menu bar, the boxes, the file chooser and the
// ways a story reaches the page. Every text of a story is set as text (the title,
// textContent), never as markup.
'use strict';
(() => {
  const kDecoyTitle = 'New Tab';  // what an empty new tab is called
  const kSpace = 32;
  const byId = (id) => document.getElementById(id);
  const icon = byId('quillshade-icon');
  const readerIcon = icon.getAttribute('href');
  const chooser = byId('quillshade-chooser');
  const boxes = [];  // texts waiting for the box to close, as a desktop queues them
  let reader = null;  // the compiled reader, once it is ready
  let waiting = false;  // a story's bytes are on their way: only Space acts meanwhile
  let hidden = false;
  let ended = false;

  const boxOpen = () => byId('quillshade-box').open;
  const openMenu = () => document.querySelector('.menu.open');
  const ready = () => reader !== null && !waiting && !ended && !boxOpen();

  // What the reader asks of the page (the web window port's calls).
  const page = {
    setTitle(text) { document.title = text; },
    setBusy(busy) { document.documentElement.classList.toggle('busy', busy); },
    hide() {
      hidden = true;
      CloseMenus();
      document.documentElement.classList.add('decoy');
      document.title = kDecoyTitle;
      icon.setAttribute('href', 'data:,');
    },
    show() {
      hidden = false;
      document.documentElement.classList.remove('decoy');
      icon.setAttribute('href', readerIcon);
      // A box put up behind the decoy could not take the keyboard until now.
      if (boxOpen()) byId('quillshade-box-ok').focus();
    },
    showMessage(text, title) {
      boxes.push({ text, title });
      if (!boxOpen()) ShowNextBox();
    },
    chooseFile(pattern) {
      chooser.accept = pattern.replace(/^\*/, '');
      chooser.value = '';
      chooser.click();
    },
    end() {
      ended = true;
      document.title = '';
      icon.remove();
      document.body.replaceChildren();
    },
  };

  function ShowNextBox() {
    const next = boxes.shift();
    if (!next) return;
    byId('quillshade-box-title').textContent = next.title;
    byId('quillshade-box-text').textContent = next.text;
    byId('quillshade-box').showModal();
    byId('quillshade-box-ok').focus();
  }
  byId('quillshade-box').addEventListener('close', ShowNextBox);

  // The bytes of a story file, or null when they could not be had, loaded as File >
  // Open loads the file its dialog names.
  async function OpenBytes(bytes) {
    waiting = true;
    try {
      reader.quillshadeStory = bytes;
      page.setBusy(true);
      // Lets the hourglass show before the load holds the page.
      await new Promise((done) => requestAnimationFrame(() => setTimeout(done, 0)));
      // Marked for the benchmark that compares a load here with the desktop's.
      const start = performance.now();
      reader._quillshade_open(bytes ? 1 : 0);
      performance.measure('quillshade-load', { start, detail: { memoryBytes: reader.HEAP8.buffer.byteLength } });
    } finally {
      reader.quillshadeStory = null;  // the form holds the story now
      waiting = false;
    }
  }

  async function OpenBlob(blob) {
    waiting = true;
    let bytes = null;
    try {
      bytes = new Uint8Array(await blob.arrayBuffer());
    } catch (error) {
      bytes = null;
    }
    await OpenBytes(bytes);
  }

  // A story beside the page on the same site; any other place fails as a missing file.
  async function OpenNamed(name) {
    waiting = true;
    let bytes = null;
    try {
      const url = new URL(name, location.href);
      if (url.origin === location.origin && /^https?:$/.test(url.protocol)) {
        const answer = await fetch(url, { credentials: 'same-origin' });
        if (answer.ok && new URL(answer.url).origin === location.origin)
          bytes = new Uint8Array(await answer.arrayBuffer());
      }
    } catch (error) {
      bytes = null;
    }
    await OpenBytes(bytes);
  }

  chooser.addEventListener('change', () => {
    const file = chooser.files && chooser.files[0];
    if (file && reader && !ended && !waiting) OpenBlob(file);
  });

  // The menu bar: Alt and the access key open a menu, an item's access key or a click
  // chooses it, Escape or a click elsewhere closes it.
  function CloseMenus() {
    for (const menu of document.querySelectorAll('.menu.open')) menu.classList.remove('open');
    if (document.activeElement && document.activeElement !== document.body) document.activeElement.blur();
  }
  function OpenMenuOf(menu) {
    CloseMenus();
    menu.classList.add('open');
    menu.querySelector('[role=menuitem]').focus();
  }
  function Choose(item) {
    CloseMenus();
    if (ready() && !hidden) reader._quillshade_menu(Number(item.dataset.item));
  }
  for (const menu of document.querySelectorAll('.menu')) {
    menu.querySelector('.menu-title').addEventListener('click', (event) => {
      event.stopPropagation();
      if (menu.classList.contains('open')) CloseMenus(); else OpenMenuOf(menu);
    });
    for (const item of menu.querySelectorAll('[role=menuitem]'))
      item.addEventListener('click', (event) => { event.stopPropagation(); Choose(item); });
  }
  function MenuKey(event, menu) {
    event.preventDefault();
    const items = [...menu.querySelectorAll('[role=menuitem]')];
    const at = items.indexOf(document.activeElement);
    if (event.key === 'Escape') { CloseMenus(); return; }
    if (event.key === 'ArrowDown' || event.key === 'ArrowUp') {
      const step = event.key === 'ArrowDown' ? 1 : items.length - 1;
      items[(Math.max(at, 0) + step) % items.length].focus();
      return;
    }
    if (event.key === 'Enter' && at >= 0) { Choose(items[at]); return; }
    const chosen = items.find((item) => item.dataset.key === event.code);
    if (chosen) Choose(chosen);
  }

  document.addEventListener('keydown', (event) => {
    if (ended || reader === null) return;
    // Behind the decoy only Space counts, even when a load that ended meanwhile has
    // put up a box: the box waits, unseen, until the page shows again.
    if (hidden) {
      if (QuillshadeKeys.virtualKeyOf(event) === kSpace) {
        event.preventDefault();
        reader._quillshade_key(kSpace);
      }
      return;
    }
    const menu = openMenu();
    if (menu) { MenuKey(event, menu); return; }
    if (boxOpen()) return;  // the box has the keyboard
    const keyCode = QuillshadeKeys.virtualKeyOf(event);
    // While a story is on its way only Space acts: the page hides at once, always.
    if (waiting && keyCode !== kSpace) return;
    if (event.altKey && !waiting) {
      const titled = document.querySelector(`.menu[data-key="${event.code}"]`);
      if (titled) { event.preventDefault(); OpenMenuOf(titled); return; }
    }
    // Space and the arrows would scroll the page or press a button.
    if (keyCode === kSpace || (keyCode >= 37 && keyCode <= 40)) event.preventDefault();
    if (keyCode !== 0) reader._quillshade_key(keyCode);
  });

  document.addEventListener('click', () => {
    if (ended || reader === null) return;
    if (hidden) { reader._quillshade_restore(); return; }
    CloseMenus();
  });

  // A file dropped anywhere on the page.
  document.addEventListener('dragover', (event) => event.preventDefault());
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    const file = event.dataTransfer && event.dataTransfer.files[0];
    if (file && ready() && !hidden) OpenBlob(file);
  });

  QuillshadeModule({ quillshadePage: page }).then((compiled) => {
    reader = compiled;
    reader._quillshade_start();
    // A story in the page itself comes first; else one named by ?story=.
    const embedded = byId('quillshade-story').textContent;
    const named = new URLSearchParams(location.search).get('story');
    if (/\S/.test(embedded)) OpenBytes(new TextEncoder().encode(embedded));
    else if (named !== null) OpenNamed(named);
    // Once the page is shown, and unless a load holds the page already.
    setTimeout(() => { if (!waiting && !ended) reader._quillshade_warm_up(); }, 0);
  });
})();
