// Encoding a text source: refused when it is no text or holds what code page 932 cannot.
#include "tools/qsd/lib/source_encoder.h"

#include <algorithm>

#include "tools/qsd/lib/story_loader.h"

namespace quillshade::qsd {

std::string FormatSourceNote(const std::string& name, const SourceNote& note) {
  std::string place = name;
  if (note.place) place += ":" + std::to_string(note.place->line) + ":" + std::to_string(note.place->column);
  return place + (note.error ? ": error: " : ": warning: ") + note.message;
}

bool EncodedSource::Refused() const {
  return std::any_of(notes.begin(), notes.end(), [](const SourceNote& note) { return note.error; });
}

EncodedSource EncodeSource(std::string_view bytes, SourceEncoding encoding, bool lossy, SourceOutput output) {
  EncodedSource source;
  const auto refuse = [&source](std::optional<TextPlace> place, std::string message) {
    source.notes.push_back(SourceNote{place, true, std::move(message)});
    return std::move(source);
  };
  if (LooksLikeStoryFile(bytes))
    return refuse(std::nullopt, "this is already a story file: it holds only character codes "
                                "(`qsd decode` turns it back into text)");
  Result<std::u16string> text = ReadTextSource(bytes, encoding);
  if (!text.ok()) return refuse(text.error().place, text.error().message);
  source.text = std::move(text).value();
  if (source.text.empty()) return refuse(std::nullopt, "the text is empty, and the reader cannot load an empty story");

  if (output == SourceOutput::kCodes) {
    source.story = EncodeStory(source.text);
  } else {
    source.story.unencodable = MakeReaderText(source.text);
    const std::size_t lastBreak = source.text.rfind(u"\r\n");
    source.story.lastLineUnbroken = (lastBreak == std::u16string::npos ? 0 : lastBreak + 2) < source.text.size();
  }
  const std::vector<Unencodable>& unencodable = source.story.unencodable;
  for (std::size_t i = 0; i < unencodable.size() && i < kMaxNamedProblems; ++i)
    source.notes.push_back(SourceNote{unencodable[i].place, !lossy,
                                      DescribeCharacter(unencodable[i].character) +
                                          " cannot be written in code page 932" + (lossy ? "; wrote '?'" : "")});
  if (unencodable.size() > kMaxNamedProblems)
    source.notes.push_back(SourceNote{std::nullopt, !lossy,
                                      std::to_string(unencodable.size() - kMaxNamedProblems) +
                                          " more characters that code page 932 cannot hold"});
  if (!unencodable.empty() && !lossy) return source;
  if (source.story.lastLineUnbroken) {
    std::int64_t lastLine = 1;
    for (std::size_t at = source.text.find(u"\r\n"); at != std::u16string::npos; at = source.text.find(u"\r\n", at + 2))
      ++lastLine;
    source.notes.push_back(SourceNote{TextPlace{lastLine, 1}, false,
                                      "the last line has no line break, so the reader never shows it"});
  }
  return source;
}

}  // namespace quillshade::qsd
