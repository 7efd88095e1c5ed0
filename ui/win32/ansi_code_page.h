// The system's ANSI code page as the story decoder's table (Windows only).
#pragma once

#include <memory>

#include "story/code_page.h"

namespace quillshade {

// The table of a Windows code page: 0..127 are ASCII; 128..255 a character only if the
// byte is no lead byte and stands alone for exactly one UTF-16 unit; 256..65535 only on
// a double-byte code page, and only if the two bytes are exactly one valid character.
std::unique_ptr<CodePage> BuildWindowsCodePage(unsigned codePage);

// The table of the ANSI code page the system runs with (GetACP), built on first use.
const CodePage& AnsiCodePage();

}  // namespace quillshade
