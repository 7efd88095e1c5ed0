// The page's key table: keyboard events to the virtual-key codes the form reads.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { createRequire } from 'node:module';

const { virtualKeyOf } = createRequire(import.meta.url)('../../../ui/web/key_map.js');

test('the digit row counts by place, whatever it types', () => {
  assert.equal(virtualKeyOf({ code: 'Digit1', key: '!' }), 49);  // Shift+1
  assert.equal(virtualKeyOf({ code: 'Digit5', key: '(' }), 53);  // a layout typing "(" there
  assert.equal(virtualKeyOf({ code: 'Digit0', key: '0' }), 48);
});

test('the keypad is its own keys with Num Lock on, the keys it names without', () => {
  assert.equal(virtualKeyOf({ code: 'Numpad1', key: '1' }), 97);
  assert.equal(virtualKeyOf({ code: 'Numpad5', key: '5' }), 101);
  assert.equal(virtualKeyOf({ code: 'Numpad2', key: 'ArrowDown' }), 40);
  assert.equal(virtualKeyOf({ code: 'Numpad5', key: 'Clear' }), 12);
});

test('the reader\'s other keys, and keys it has no code for', () => {
  assert.equal(virtualKeyOf({ code: 'Space', key: ' ' }), 32);
  assert.equal(virtualKeyOf({ code: 'ArrowDown', key: 'ArrowDown' }), 40);
  assert.equal(virtualKeyOf({ code: 'KeyQ', key: 'a' }), 65);  // a letter by what it types in the layout
  assert.equal(virtualKeyOf({ code: 'KeyQ', key: 'Dead' }), 81);
  assert.equal(virtualKeyOf({ code: 'F12', key: 'F12' }), 123);
  assert.equal(virtualKeyOf({ code: 'IntlYen', key: '¥' }), 0);
  assert.equal(virtualKeyOf({}), 0);
});
