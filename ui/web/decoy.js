// What the tab shows: the decoy of an empty new tab in the browser's own language, and a
// caption as a title that the tab strip shows as the desktop's title bar would.
'use strict';
const QuillshadeDecoy = (() => {
  // A new tab's title in the browser's languages, by language tag.
  const kNewTab = {
    en: 'New Tab', 'en-gb': 'New tab', ja: '新しいタブ', ko: '새 탭', 'zh-hans': '新标签页', 'zh-hant': '新分頁',
    de: 'Neuer Tab', fr: 'Nouvel onglet', es: 'Nueva pestaña', it: 'Nuova scheda', nl: 'Nieuw tabblad',
    pl: 'Nowa karta', ru: 'Новая вкладка', pt: 'Nova guia', 'pt-pt': 'Novo separador',
  };
  // Shown as nothing, yet no whitespace: the browser trims whitespace of every kind off a
  // title and names a tab whose title is left empty after the page's file.
  const kBlank = '\u200B';
  // What the browser trims off both ends of a title.
  const kTrimmed = /[\t-\r \u0085\u00A0\u1680\u2000-\u200A\u2028\u2029\u202F\u205F\u3000]/;

  // The tag's entry: Chinese by its script (a region names one), others whole or by
  // their language alone.
  function EntryOf(tag) {
    const parts = String(tag).toLowerCase().split(/[-_]/);
    if (parts[0] === 'zh') {
      const traditional = parts.includes('hant') || (!parts.includes('hans') && parts.some((p) => ['tw', 'hk', 'mo'].includes(p)));
      return traditional ? 'zh-hant' : 'zh-hans';
    }
    const whole = parts.slice(0, 2).join('-');
    if (Object.prototype.hasOwnProperty.call(kNewTab, whole)) return whole;
    return Object.prototype.hasOwnProperty.call(kNewTab, parts[0]) ? parts[0] : null;
  }

  // The new tab's title in the first of `languages` (the browser's, most preferred first)
  // that has one; in English when none has.
  function DecoyTitle(languages) {
    for (const tag of languages || []) {
      const entry = EntryOf(tag);
      if (entry) return kNewTab[entry];
    }
    return kNewTab.en;
  }

  // The title that shows `caption` as it is: HTML folds runs of ASCII whitespace in a
  // title into one space and keeps no-break spaces; the ends are held by blanks.
  function TabTitle(caption) {
    if (caption === '') return kBlank;
    let title = caption.replace(/[\t\n\f\r ]/g, '\u00A0');
    if (kTrimmed.test(title[0])) title = kBlank + title;
    if (kTrimmed.test(title[title.length - 1])) title += kBlank;
    return title;
  }

  const decoy = { DecoyTitle, TabTitle, kBlank, title: kNewTab.en, hiddenWhenLeft: false };
  if (typeof document === 'object') {
    decoy.title = DecoyTitle(navigator.languages && navigator.languages.length ? navigator.languages : [navigator.language]);
    // A page that was hidden when it was left or reloaded comes back hidden: the flag
    // lives as long as the tab, and holds nothing of the story.
    try {
      decoy.hiddenWhenLeft = sessionStorage.getItem('quillshade-hidden') === '1';
    } catch (error) {
      decoy.hiddenWhenLeft = false;
    }
    if (decoy.hiddenWhenLeft) document.documentElement.classList.add('decoy');
    // The browser's history keeps only the first few titles that a page sets while it
    // loads or just after: the page spends them on the decoy, so that no later title,
    // and no story line, reaches the history.
    for (let i = 0; i < 24; ++i) document.title = i % 2 ? decoy.title + kBlank : decoy.title;
    document.title = decoy.title;
  }
  return decoy;
})();
if (typeof module === 'object' && module.exports) module.exports = QuillshadeDecoy;
