// The page side of the web reader: the menu bar, the boxes, the file chooser and the
// ways a story reaches the page. Every text of a story is set as text (the title,
// textContent), never as markup.
'use strict';
(() => {
  const kSpace = 32;
  const kHiddenFlag = 'quillshade-hidden';
  // A story is read in slices of about this many bytes and milliseconds, between which
  // the page answers its keys.
  const kSliceBytes = 1 << 18;
  const kSliceMs = 8;
  const byId = (id) => document.getElementById(id);
  const root = document.documentElement;
  const icon = byId('quillshade-icon');
  const blankIcon = icon.getAttribute('href');
  const readerIcon = icon.dataset.reader;
  const chooser = byId('quillshade-chooser');
  const line = byId('quillshade-line');  // tells a screen reader each line, unseen
  const boxes = [];  // texts waiting for the box to close, as a desktop queues them
  const embedded = byId('quillshade-story').textContent;
  const named = new URLSearchParams(location.search).get('story');
  let reader = null;  // the compiled reader, once it is ready
  let waiting = false;  // a story's bytes are on their way: only Space acts meanwhile
  let hidden = QuillshadeDecoy.hiddenWhenLeft;
  let ended = false;
  let caption = null;  // what the reader shows in the title, once it shows anything
  // The reader's icon marks the tab only until a story opens: from then on the tab is
  // one among others.
  let branded = !/\S/.test(embedded) && named === null;

  const boxOpen = () => byId('quillshade-box').open;
  const openMenu = () => document.querySelector('.menu.open');
  const ready = () => reader !== null && !waiting && !ended && !boxOpen();
  const ShowIcon = () => icon.setAttribute('href', branded && !hidden ? readerIcon : blankIcon);
  function RememberHidden() {
    try {
      if (hidden) sessionStorage.setItem(kHiddenFlag, '1'); else sessionStorage.removeItem(kHiddenFlag);
    } catch (error) {
      // Without storage a reload shows the page: nothing else depends on the flag.
    }
  }
  // The caption in the title, unless the tab is put away: whatever the browser keeps of a
  // page it leaves or hides (its back list, its history) takes the decoy's title.
  function ShowCaption() {
    if (caption === null || hidden || ended) return;
    document.title = document.visibilityState === 'hidden' ? QuillshadeDecoy.title : QuillshadeDecoy.TabTitle(caption);
  }
  function Conceal() {
    if (!ended) document.title = QuillshadeDecoy.title;
  }

  // What the reader asks of the page (the web window port's calls).
  const page = {
    setTitle(text) {
      caption = text;
      line.textContent = text;
      ShowCaption();
    },
    setBusy(busy) { root.classList.toggle('busy', busy); },
    hide() {
      hidden = true;
      RememberHidden();
      CloseMenus();
      root.classList.add('decoy');
      document.title = QuillshadeDecoy.title;
      ShowIcon();
    },
    show() {
      hidden = false;
      RememberHidden();
      root.classList.remove('decoy');
      ShowIcon();
      // A box put up behind the decoy could not take the keyboard until now.
      if (boxOpen()) byId('quillshade-box-ok').focus();
      if (host) setTimeout(host.Resume);
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
      hidden = false;
      RememberHidden();
      document.title = QuillshadeDecoy.kBlank;
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

  // Hands the page's thread back: keys go first, other work in turn.
  function Yield() {
    return new Promise((done) => {
      const channel = new MessageChannel();
      channel.port1.onmessage = () => done();
      channel.port2.postMessage(0);
    });
  }
  function ReadSlice() {
    const until = performance.now() + kSliceMs;
    do {
      if (reader._quillshade_load_step(kSliceBytes)) return true;
    } while (performance.now() < until);
    return false;
  }

  // The bytes of a story file, or null when they could not be had, loaded as File >
  // Open loads the file its dialog names.
  async function OpenBytes(bytes) {
    waiting = true;
    branded = false;
    ShowIcon();
    try {
      reader.quillshadeStory = bytes;
      // Marked for the benchmark that compares a load here with the desktop's.
      const start = performance.now();
      if (bytes) {
        reader._quillshade_load_begin();
        // Lets the hourglass show before the first slice.
        await new Promise((done) => requestAnimationFrame(() => setTimeout(done, 0)));
        while (!ReadSlice()) await Yield();
      }
      reader._quillshade_open(bytes ? 1 : 0);
      performance.measure('quillshade-load', { start, detail: { memoryBytes: reader.HEAP8.buffer.byteLength } });
    } finally {
      reader.quillshadeStory = null;  // the form holds the story now
      waiting = false;
      if (host) setTimeout(host.Resume);
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
    for (const menu of document.querySelectorAll('.menu.open')) {
      menu.classList.remove('open');
      menu.querySelector('.menu-title').setAttribute('aria-expanded', 'false');
    }
    if (document.activeElement && document.activeElement !== document.body && !boxOpen()) document.activeElement.blur();
  }
  function OpenMenuOf(menu) {
    CloseMenus();
    menu.classList.add('open');
    menu.querySelector('.menu-title').setAttribute('aria-expanded', 'true');
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

  // Space hides the page, or shows it again, whatever is open: a menu closes, a box
  // waits behind the decoy, a load goes on. Before the reader is ready the page does it.
  function PanicKey() {
    CloseMenus();
    if (reader !== null) reader._quillshade_key(kSpace);
    else if (hidden) page.show();
    else page.hide();
  }

  // Caught before anything of the page sees the key, so that no button takes Space.
  window.addEventListener('keydown', (event) => {
    if (ended) return;
    const keyCode = QuillshadeKeys.virtualKeyOf(event);
    if (keyCode === kSpace) {
      event.preventDefault();
      // A held key presses once: its repeats would show and hide the story in turn.
      if (!event.repeat) PanicKey();
      return;
    }
    if (reader === null || hidden) return;  // behind the decoy only Space counts
    const menu = openMenu();
    if (menu) { MenuKey(event, menu); return; }
    if (boxOpen()) return;  // the box has the keyboard
    // While a story is on its way only Space acts.
    if (waiting) return;
    if (event.altKey) {
      const titled = document.querySelector(`.menu[data-key="${event.code}"]`);
      if (titled) { event.preventDefault(); OpenMenuOf(titled); return; }
    }
    // The arrows would scroll the page.
    if (keyCode >= 37 && keyCode <= 40) event.preventDefault();
    if (keyCode !== 0 && reader._quillshade_key(keyCode) && host) host.Pressed(keyCode);
  }, true);
  // A focused button presses itself when Space is let go.
  window.addEventListener('keyup', (event) => {
    if (QuillshadeKeys.virtualKeyOf(event) === kSpace) event.preventDefault();
  }, true);

  // A click on the hidden page may only be meant to bring the browser forward: it shows
  // nothing. A double-click, which no stray click is, shows the page as Space does.
  document.addEventListener('click', () => {
    if (!ended && !hidden) CloseMenus();
  });
  document.addEventListener('dblclick', () => {
    if (ended || !hidden) return;
    if (reader !== null) reader._quillshade_restore(); else page.show();
  });

  window.addEventListener('pagehide', Conceal);
  window.addEventListener('pageshow', ShowCaption);
  document.addEventListener('visibilitychange', () => (document.visibilityState === 'hidden' ? Conceal() : ShowCaption()));

  // A file dropped anywhere on the page.
  document.addEventListener('dragover', (event) => event.preventDefault());
  document.addEventListener('drop', (event) => {
    event.preventDefault();
    const file = event.dataTransfer && event.dataTransfer.files[0];
    if (file && ready() && !hidden) OpenBlob(file);
  });

  // A play pane beside an editor: the editor hands the page a story's codes, the keys to
  // replay on it and the flags that arrive set, and hears back the title and how far a
  // replay went. Only a page that its host has marked so listens for them: a published
  // page takes no message from anyone.
  function PlayPane() {
    const kKeyCodes = { d: 40, 1: 49, 2: 50, 3: 51, 4: 52, 5: 53 };
    const kLetters = { 40: 'd', 49: '1', 50: '2', 51: '3', 52: '4', 53: '5', 97: '1', 98: '2', 99: '3', 100: '4', 101: '5' };
    // eslint-disable-next-line no-undef
    const editor = typeof acquireVsCodeApi === 'function' ? acquireVsCodeApi() : null;
    const Tell = (message) => (editor ? editor.postMessage(message) : window.parent.postMessage(message, '*'));
    let played = '';     // the keys that moved the reader since the story loaded
    let arriving = 0;    // flags D and E, as bits, that the last story was started with
    let quiet = false;   // a replay is on: only its last title is told
    let pending = null;  // a story that came while the page could not take it

    // The title as the tab would show it, each time it changes.
    new MutationObserver(() => { if (!quiet) Tell({ type: 'title', title: document.title }); })
      .observe(document.head, { childList: true, subtree: true, characterData: true });

    async function Play(message) {
      const keys = typeof message.keys === 'string' ? message.keys : played;
      if (typeof message.arriving === 'string')
        arriving = (message.arriving.includes('D') ? 8 : 0) | (message.arriving.includes('E') ? 16 : 0);
      quiet = true;
      try {
        reader._quillshade_start_over(arriving);
        await OpenBytes(new TextEncoder().encode(message.codes));
        // Hidden while it loaded: the keys wait, as the story did, for the page to show.
        if (hidden) {
          pending = { ...message, keys };
          return;
        }
        played = '';
        let at = 0;
        // Each key must move the reader as it did: the first that does not is where the
        // new text parts from the way that was played. A story that did not load takes none.
        for (; at < keys.length && !boxOpen(); ++at) {
          if (!reader._quillshade_key(kKeyCodes[keys[at]])) break;
          played += keys[at];
        }
        Tell({ type: 'replayed', keys, played: played.length, diverged: at < keys.length });
      } finally {
        quiet = false;
        Tell({ type: 'title', title: document.title });
        setTimeout(Resume);
      }
    }
    // A story that waited for the reader: once it is ready, shown again, done with a box.
    function Resume() {
      if (!pending || !ready() || hidden) return;
      const message = pending;
      pending = null;
      Play(message);
    }

    window.addEventListener('message', (event) => {
      const message = event.data;
      if (!message || message.type !== 'load' || typeof message.codes !== 'string') return;
      if (message.keys !== undefined && !/^[d1-5]*$/.test(message.keys)) return;
      if (message.arriving !== undefined && !/^[DE]*$/.test(message.arriving)) return;
      pending = message;
      Resume();
    });
    return {
      Pressed(keyCode) { if (kLetters[keyCode]) played += kLetters[keyCode]; },
      Resume,
      Ready() { Tell({ type: 'ready' }); },
    };
  }
  const host = root.dataset.host === 'pane' ? PlayPane() : null;
  byId('quillshade-box').addEventListener('close', () => host && host.Resume());

  ShowIcon();
  QuillshadeModule({ quillshadePage: page }).then((compiled) => {
    reader = compiled;
    reader._quillshade_start(hidden ? 1 : 0);
    if (host) host.Ready();
    // A story in the page itself comes first; else one named by ?story=.
    if (/\S/.test(embedded)) OpenBytes(new TextEncoder().encode(embedded));
    else if (named !== null) OpenNamed(named);
  });
})();
