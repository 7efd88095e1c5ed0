// Keyboard events as the Windows virtual-key codes that the form reads.
'use strict';
const QuillshadeKeys = (() => {
  // Keys named alike on the main keyboard and on the keypad with Num Lock off (keypad 2
  // without Num Lock is Down there too), by the key they type.
  const kNamed = {
    Backspace: 8, Tab: 9, Clear: 12, Enter: 13, Shift: 16, Control: 17, Alt: 18, Pause: 19,
    CapsLock: 20, Escape: 27, ' ': 32, PageUp: 33, PageDown: 34, End: 35, Home: 36,
    ArrowLeft: 37, ArrowUp: 38, ArrowRight: 39, ArrowDown: 40, Insert: 45, Delete: 46,
  };
  // Keys by their place on the keyboard, whatever they type in the layout.
  const kPlaced = {
    Space: 32, Enter: 13, NumpadEnter: 13, Tab: 9, Backspace: 8, Escape: 27,
    ArrowLeft: 37, ArrowUp: 38, ArrowRight: 39, ArrowDown: 40,
    NumpadMultiply: 106, NumpadAdd: 107, NumpadSubtract: 109, NumpadDecimal: 110, NumpadDivide: 111,
  };

  // The virtual-key code that a Windows keyboard gives for the key of `event` (its
  // `code` and `key`), or 0 when the reader could use none. The digit row counts by
  // place, as Windows counts it: Shift+1 is still the key 1; the keypad's digits are
  // keys of their own while Num Lock is on, and the keys they name while it is off.
  function virtualKeyOf(event) {
    const code = String(event.code || '');
    const key = String(event.key || '');
    let m = /^Digit([0-9])$/.exec(code);
    if (m) return 48 + Number(m[1]);
    m = /^Numpad([0-9])$/.exec(code);
    if (m) return /^[0-9]$/.test(key) ? 96 + Number(m[1]) : (kNamed[key] || 0);
    // Letters go by what they type, as Windows names them in each layout.
    if (/^[a-z]$/i.test(key)) return key.toUpperCase().charCodeAt(0);
    m = /^Key([A-Z])$/.exec(code);
    if (m) return m[1].charCodeAt(0);
    m = /^F([1-9]|1[0-9]|2[0-4])$/.exec(code);
    if (m) return 111 + Number(m[1]);
    if (Object.prototype.hasOwnProperty.call(kPlaced, code)) return kPlaced[code];
    if (Object.prototype.hasOwnProperty.call(kNamed, key)) return kNamed[key];
    return 0;
  }

  return { virtualKeyOf };
})();
if (typeof module === 'object' && module.exports) module.exports = QuillshadeKeys;
