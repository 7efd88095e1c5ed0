// The decoy's title by the browser's languages, and a caption as the tab's title.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';

const { DecoyTitle, TabTitle, kBlank } = createRequire(import.meta.url)('../../../ui/web/decoy.js');

test('a new tab in the first of the browser\'s languages that has one', () => {
  assert.equal(DecoyTitle(['ja']), '新しいタブ');
  assert.equal(DecoyTitle(['ja-JP', 'en-US']), '新しいタブ');
  assert.equal(DecoyTitle(['ko-KR']), '새 탭');
  assert.equal(DecoyTitle(['zh-CN']), '新标签页');
  assert.equal(DecoyTitle(['zh']), '新标签页');
  assert.equal(DecoyTitle(['zh-TW']), '新分頁');
  assert.equal(DecoyTitle(['zh-HK']), '新分頁');
  assert.equal(DecoyTitle(['zh-Hant']), '新分頁');
  assert.equal(DecoyTitle(['zh-Hans-HK']), '新标签页');
  assert.equal(DecoyTitle(['pt-PT']), 'Novo separador');
  assert.equal(DecoyTitle(['en-GB', 'en-US']), 'New tab');
  assert.equal(DecoyTitle(['pt-BR']), 'Nova guia');
  assert.equal(DecoyTitle(['eo', 'fr-CA']), 'Nouvel onglet');
  assert.equal(DecoyTitle(['eo']), 'New Tab');
  assert.equal(DecoyTitle([]), 'New Tab');
});

test('a caption keeps its spaces, and an empty one is a blank', () => {
  assert.equal(TabTitle(''), kBlank);
  assert.equal(TabTitle('two  spaces   here'), 'two\u00A0\u00A0spaces\u00A0\u00A0\u00A0here');
  // The browser trims whitespace of every kind off the ends: a blank holds them.
  assert.equal(TabTitle('\tindented'), kBlank + '\u00A0indented');
  assert.equal(TabTitle('\u3000全角'), kBlank + '\u3000全角');
  assert.equal(TabTitle('end\u3000'), 'end\u3000' + kBlank);
  assert.equal(TabTitle('月の光'), '月の光');
});
