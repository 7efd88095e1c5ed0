// Qt's key events as the virtual-key codes that the form reads.
#pragma once

#include <Qt>

namespace quillshade {

// The virtual-key code that a Windows keyboard gives for the same key, or 0 when the
// key has none the reader could use. The keypad counts as its own keys, as there.
int VirtualKeyOfQtKey(int qtKey, Qt::KeyboardModifiers modifiers);

// The virtual key of a main-keyboard digit key from its X key code (the Linux input
// code + 8), or 0. Windows names those keys by position, so Shift+1 (typing "!") or the
// 1 key of a layout that types "&" there are still the key 1; Qt names them by symbol.
int VirtualKeyOfX11DigitKey(unsigned nativeScanCode);

}  // namespace quillshade
