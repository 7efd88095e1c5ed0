// A deterministic story generator: scenes of prose joined by every kind of branch.
#include "bench/story_generator.h"

#include <array>
#include <map>

#include "story/code_page.h"
#include "story/decode.h"
#include "story/encode.h"

namespace quillshade::bench {
namespace {

// A small xorshift generator: the same seed gives the same story on every machine.
class Random {
 public:
  explicit Random(std::uint32_t seed) : state_(seed ? seed : 1) {}
  std::uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint32_t>(n)); }

 private:
  std::uint32_t state_;
};

// Words for the English shape, so that letters come in the proportions of prose.
constexpr std::array<std::u16string_view, 32> kWords = {
    u"the",   u"of",     u"and",   u"a",     u"to",     u"in",    u"she",    u"was",
    u"that",  u"it",     u"he",    u"with",  u"for",    u"on",    u"as",     u"her",
    u"night", u"window", u"quiet", u"river", u"letter", u"turned", u"toward", u"never",
    u"light", u"morning", u"said", u"road",  u"door",   u"looked", u"again",  u"across"};

class StoryWriter {
 public:
  StoryWriter(StoryShape shape, std::uint32_t seed) : shape_(shape), random_(seed) {}

  void Ascii(std::u16string_view text) {
    for (const char16_t c : text) Code(CodeOfCharacter(c).value());
  }
  // A run of prose of about `characters` characters, in the story's shape.
  void Prose(int characters) {
    switch (shape_) {
      case StoryShape::JapaneseProse: return JapaneseProse(characters);
      case StoryShape::EnglishProse: return EnglishProse(characters);
      case StoryShape::DenseMix: return DenseMix(characters);
    }
  }
  void EndLine() {
    Code(13);
    Code(10);
    // The next line's first token starts with this line break, which it ignores.
    if (shape_ != StoryShape::DenseMix) file_ += "\r\n";
  }
  Random& random() { return random_; }
  std::string Take() { return std::move(file_); }
  std::size_t size() const { return file_.size(); }

 private:
  // Hiragana mostly, kanji and punctuation now and then.
  void JapaneseProse(int characters) {
    for (int i = 0; i < characters; ++i) {
      const int pick = random_.Below(16);
      int code = 0;
      if (pick < 9) code = 0x829F + random_.Below(83);        // hiragana
      else if (pick < 13) code = 0x889F + random_.Below(94);   // kanji, first row
      else if (pick < 15) code = 0x8980 + random_.Below(125);  // kanji, a later row
      else code = 0x8141 + random_.Below(2);                   // comma, full stop
      // Writers use both forms of a double-byte code; the reader takes either.
      if (random_.Below(8) == 0) code -= 65536;
      Code(code);
    }
  }
  // Words of a few letters between spaces, a capital and a full stop now and then.
  void EnglishProse(int characters) {
    for (int written = 0; written < characters;) {
      std::u16string word(kWords[static_cast<std::size_t>(random_.Below(static_cast<int>(kWords.size())))]);
      if (written == 0) word[0] = static_cast<char16_t>(word[0] - u'a' + u'A');
      if (random_.Below(10) == 0) word += random_.Below(2) == 0 ? u"," : u".";
      if (written > 0) word.insert(0, u" ");
      Ascii(word);
      written += static_cast<int>(word.size());
    }
  }
  // Codes of two to five digits in equal shares: ASCII, half-width katakana and ASCII
  // of three digits, double-byte codes in their negative four-digit form, and in their
  // positive five-digit form.
  void DenseMix(int characters) {
    const CodePage& page = Cp932CodePage();
    for (int i = 0; i < characters; ++i) {
      int code = 0;
      switch (random_.Below(4)) {
        case 0: code = 32 + random_.Below(68); break;    // 32..99
        case 1: code = random_.Below(2) == 0 ? 100 + random_.Below(27) : 161 + random_.Below(63); break;
        case 2:
          do code = -1000 - random_.Below(9000);  // -1000..-9999: lead bytes 0xD8..0xFC
          while (!CharacterOfCode(page, code));
          break;
        default:
          do code = 0x889F + random_.Below(0x9FFC - 0x889F);  // kanji, 33439..40956
          while (!CharacterOfCode(page, code));
          break;
      }
      Code(code);
    }
  }
  void Code(int code) {
    file_ += std::to_string(code);
    file_ += ' ';
  }

  StoryShape shape_;
  Random random_;
  std::string file_;
};

std::u16string SceneLabel(int scene) {
  std::u16string label = u"[S";
  for (const char c : std::to_string(scene)) label += static_cast<char16_t>(c);
  return label + u"]";
}

}  // namespace

std::string_view ShapeName(StoryShape shape) {
  switch (shape) {
    case StoryShape::JapaneseProse: return "japanese";
    case StoryShape::EnglishProse: return "english";
    case StoryShape::DenseMix: return "dense";
  }
  return "japanese";
}

std::optional<StoryShape> ShapeNamed(std::string_view name) {
  for (const StoryShape shape : {StoryShape::JapaneseProse, StoryShape::EnglishProse, StoryShape::DenseMix})
    if (ShapeName(shape) == name) return shape;
  return std::nullopt;
}

std::string GenerateStoryFile(std::size_t bytes, StoryShape shape, std::uint32_t seed) {
  StoryWriter story(shape, seed);
  Random& random = story.random();
  // The opening choice and the jump to the end, both of which cross the whole text.
  story.Prose(30);
  story.Ascii(u"??");
  story.Ascii(SceneLabel(1) + u"," + std::u16string(kLastLabel));
  story.EndLine();
  story.Ascii(u"[EPILOGUE]");
  story.Prose(12);
  story.Ascii(u">>");
  story.Ascii(kLastLabel);
  story.EndLine();

  int scene = 1;
  while (story.size() < bytes) {
    story.Ascii(SceneLabel(scene));
    story.Prose(20 + random.Below(40));
    story.EndLine();
    const int lines = 8 + random.Below(16);
    for (int line = 0; line < lines; ++line) {
      story.Prose(15 + random.Below(50));
      if (random.Below(12) == 0) story.Ascii(u"::AON");
      if (random.Below(12) == 0) story.Ascii(u"::BOFF");
      story.EndLine();
    }
    // Every scene ends in a branch to the next two scenes.
    story.Prose(10 + random.Below(20));
    switch (random.Below(4)) {
      case 0: story.Ascii(u">>" + SceneLabel(scene + 1)); break;
      case 1: story.Ascii(u">>A" + SceneLabel(scene + 1) + u"," + SceneLabel(scene + 2)); break;
      case 2: story.Ascii(u"??" + SceneLabel(scene + 1) + u"," + SceneLabel(scene + 2)); break;
      default: story.Ascii(u"::CON"); break;
    }
    story.EndLine();
    ++scene;
  }
  story.Ascii(kLastLabel);
  story.Prose(10);
  story.EndLine();
  return story.Take();
}

const std::u16string& NovelSourceText(std::size_t lines) {
  static std::map<std::size_t, std::u16string> texts;
  std::u16string& source = texts[lines];
  if (!source.empty()) return source;
  const std::u16string story = DecodeCharCodes(GenerateStoryFile(lines * 300), Cp932CodePage());
  std::size_t taken = 0;
  for (std::size_t at = 0; at < story.size() && taken < lines; ++taken) {
    const std::size_t end = story.find(u"\r\n", at);
    if (end == std::u16string::npos) break;
    source += story.substr(at, end - at);
    source += u'\n';
    at = end + 2;
  }
  return source;
}

}  // namespace quillshade::bench
