// A deterministic story generator: scenes of Japanese text joined by every kind of branch.
#include "bench/story_generator.h"

#include <vector>

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

class StoryWriter {
 public:
  explicit StoryWriter(std::uint32_t seed) : random_(seed) {}

  void Ascii(std::u16string_view text) {
    for (const char16_t c : text) Code(static_cast<int>(c));
  }
  // A run of Japanese prose: hiragana mostly, kanji and punctuation now and then.
  void Prose(int characters) {
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
  void EndLine() {
    Code(13);
    Code(10);
    // The next line's first token starts with this line break, which it ignores.
    file_ += "\r\n";
  }
  Random& random() { return random_; }
  std::string Take() { return std::move(file_); }
  std::size_t size() const { return file_.size(); }

 private:
  void Code(int code) {
    file_ += std::to_string(code);
    file_ += ' ';
  }

  Random random_;
  std::string file_;
};

std::u16string SceneLabel(int scene) {
  std::u16string label = u"[S";
  for (const char c : std::to_string(scene)) label += static_cast<char16_t>(c);
  return label + u"]";
}

}  // namespace

std::string GenerateStoryFile(std::size_t bytes, std::uint32_t seed) {
  StoryWriter story(seed);
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

}  // namespace quillshade::bench
