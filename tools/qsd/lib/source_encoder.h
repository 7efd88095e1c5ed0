// Text sources encoded as `qsd encode` encodes them, with what encoding has to say; the
// toolkit's one door to the engine's encoder (story/encode.h), which nothing else in it includes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "story/encode.h"
#include "story/utf16.h"
#include "tools/qsd/lib/text_source.h"

namespace quillshade::qsd {

// What encoding a text source has to say: about a place in it, or (no place) about all of it.
struct SourceNote {
  std::optional<TextPlace> place;
  bool error = false;
  std::string message;
};

// "FILE:LINE:COL: error: message", or "FILE: warning: message" without a place.
std::string FormatSourceNote(const std::string& name, const SourceNote& note);

// A text source encoded as `qsd encode` encodes it. It is refused (nothing may be
// written) when it already holds only character codes, is not a text, is empty, or
// holds characters code page 932 cannot hold (unless `lossy`, which writes '?').
struct EncodedSource {
  std::u16string text;  // the story text the source holds (with `kReaderText`: as the reader would)
  EncodedStory story;   // with `kReaderText`: no codes
  std::vector<SourceNote> notes;  // errors and warnings, in order

  // An error among the notes refuses the source: the notes alone say so, so the two
  // cannot disagree.
  bool Refused() const;
};

// What EncodeSource makes: the codes of a story file, or only the text that the reader
// would hold once it loads them, which needs no codes in between.
enum class SourceOutput { kCodes, kReaderText };

EncodedSource EncodeSource(std::string_view bytes, SourceEncoding encoding, bool lossy,
                           SourceOutput output = SourceOutput::kCodes);

}  // namespace quillshade::qsd
