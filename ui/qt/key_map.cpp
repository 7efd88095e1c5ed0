// The key table from Qt's key names to Windows virtual-key codes.
#include "ui/qt/key_map.h"

namespace quillshade {
namespace {

// Keys that name the same virtual key on the main keyboard and on the keypad with Num
// Lock off (keypad 2 without Num Lock is Down there too).
int VirtualKeyOfNamedKey(int qtKey) {
  switch (qtKey) {
    case Qt::Key_Backspace: return 8;
    case Qt::Key_Tab: case Qt::Key_Backtab: return 9;
    case Qt::Key_Clear: return 12;
    case Qt::Key_Return: case Qt::Key_Enter: return 13;
    case Qt::Key_Shift: return 16;
    case Qt::Key_Control: return 17;
    case Qt::Key_Alt: return 18;
    case Qt::Key_Pause: return 19;
    case Qt::Key_CapsLock: return 20;
    case Qt::Key_Escape: return 27;
    case Qt::Key_Space: return 32;
    case Qt::Key_PageUp: return 33;
    case Qt::Key_PageDown: return 34;
    case Qt::Key_End: return 35;
    case Qt::Key_Home: return 36;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Insert: return 45;
    case Qt::Key_Delete: return 46;
    default: return 0;
  }
}

// Keys whose code on the keypad (Num Lock on) differs from the main keyboard's.
int VirtualKeyOfKeypadKey(int qtKey) {
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return 96 + (qtKey - Qt::Key_0);
  switch (qtKey) {
    case Qt::Key_Asterisk: return 106;
    case Qt::Key_Plus: return 107;
    case Qt::Key_Minus: return 109;
    case Qt::Key_Period: case Qt::Key_Comma: return 110;
    case Qt::Key_Slash: return 111;
    default: return VirtualKeyOfNamedKey(qtKey);
  }
}

}  // namespace

int VirtualKeyOfQtKey(int qtKey, Qt::KeyboardModifiers modifiers) {
  if (modifiers.testFlag(Qt::KeypadModifier)) return VirtualKeyOfKeypadKey(qtKey);
  if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) return 48 + (qtKey - Qt::Key_0);
  if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) return 65 + (qtKey - Qt::Key_A);
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 112 + (qtKey - Qt::Key_F1);
  return VirtualKeyOfNamedKey(qtKey);
}

int VirtualKeyOfX11DigitKey(unsigned nativeScanCode) {
  constexpr unsigned kKey1 = 10;  // the row runs 1..9, then 0
  constexpr unsigned kKey0 = 19;
  if (nativeScanCode == kKey0) return 48;
  if (nativeScanCode >= kKey1 && nativeScanCode < kKey0) return static_cast<int>(49 + (nativeScanCode - kKey1));
  return 0;
}

}  // namespace quillshade
