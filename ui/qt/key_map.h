// Qt's key events as the virtual-key codes and Shift/Ctrl/Alt state the form reads.
#pragma once

#include <Qt>

namespace quillshade {

// The virtual-key code that a Windows keyboard gives for the same key, or 0 when the
// key has none the reader could use. The keypad counts as its own keys, as there.
int VirtualKeyOfQtKey(int qtKey, Qt::KeyboardModifiers modifiers);

// The Shift/Ctrl/Alt state as the form's key handler takes it: 1 Shift, 2 Ctrl, 4 Alt.
int ShiftStateOf(Qt::KeyboardModifiers modifiers);

}  // namespace quillshade
