// The label index answers exactly what the reader's own label search answers.
#include "story/label_index.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <random>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "story/text.h"

// Allocations that fail on demand, for the path where sorting a group throws: once armed,
// this thread's allocation number `allocationsUntilFailure` (from 0) throws. Every
// form that pairs with free() is replaced, so that sanitizers see one family. Clang's
// sanitizers link their own operator new statically, which cannot be replaced.
#if defined(__clang__)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUILLSHADE_FAILING_ALLOCATIONS 0
#endif
#endif
#ifndef QUILLSHADE_FAILING_ALLOCATIONS
#define QUILLSHADE_FAILING_ALLOCATIONS 1
#endif

namespace {
thread_local long allocationsUntilFailure = -1;
}  // namespace

#if QUILLSHADE_FAILING_ALLOCATIONS
void* operator new(std::size_t size) {
  if (allocationsUntilFailure >= 0 && allocationsUntilFailure-- == 0) throw std::bad_alloc();
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return std::malloc(size == 0 ? 1 : size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { std::free(memory); }
#endif

namespace quillshade {
namespace {

// What FindLabelLine finds first and next, by the search itself.
LabelIndex::Found Searched(std::u16string_view text, std::u16string_view label) {
  LabelIndex::Found found{FindLabelLine(text, label), 0};
  if (found.first != 0) {
    const auto rest = static_cast<std::size_t>(found.first);
    if (const std::int32_t next = FindLabelLine(text.substr(rest), label); next != 0)
      found.second = static_cast<std::int32_t>(rest) + next;
  }
  return found;
}

TEST(LabelIndex, FirstAndNextLineThatBeginsWithTheLabel) {
  const std::u16string text = u"[a] one\r\ngone\r\n[b] two\r\ngo\r\ngo on\r\n[a]";
  const LabelIndex index(text);
  EXPECT_EQ(index.Find(u"go").first, 8);    // "gone" comes before "go"
  EXPECT_EQ(index.Find(u"go").second, 23);
  EXPECT_EQ(index.Find(u"[a]").first, 34);  // line 1 is never found, the unbroken tail is
  EXPECT_EQ(index.Find(u"[a]").second, 0);
  EXPECT_EQ(index.Find(u"[c]").first, 0);
  EXPECT_EQ(index.Find(u"").first, 8);      // the empty label: the first line break
  EXPECT_EQ(index.Find(u"").second, 14);
}

// Lines that agree on more than the first units are sorted further within their group;
// a group cut one line short there leaves its last line unsorted.
TEST(LabelIndex, GroupSortedPastItsFirstUnitsToItsLastLine) {
  const std::u16string text = u"x\r\nabcdefghX\r\nabcdefghA\r\nabcdefghM\r\n";
  const LabelIndex index(text);
  for (const std::u16string_view label : {u"abcdefghM", u"abcdefghA", u"abcdefghX", u"abcdefgh", u"abcdefghZ"}) {
    EXPECT_EQ(index.Find(label).first, Searched(text, label).first) << "label " << label.size();
    EXPECT_EQ(index.Find(label).second, Searched(text, label).second) << "label " << label.size();
  }
}

TEST(LabelIndex, AgreesWithTheSearchOnRandomTexts) {
  std::mt19937 random(7);
  const std::u16string alphabet(u"ab\0[] \r\n\r\n", 10);
  for (int round = 0; round < 300; ++round) {
    std::u16string text;
    // Every tenth text long enough to hold hundreds of line breaks, many blocks of the tree;
    // every third one made of a few lines repeated, with runs of equal lines.
    const int length = static_cast<int>(random() % (round % 10 == 0 ? 3000 : 60));
    // Lines without CR or LF that share a beginning of up to fourteen units, so that
    // groups are sorted past their first units at every depth.
    std::u16string lines[3];
    for (int i = static_cast<int>(random() % 15); i > 0; --i) lines[0].push_back(alphabet[random() % 5]);
    for (std::u16string& line : lines) {
      line = lines[0];
      for (int i = static_cast<int>(random() % 8); i > 0; --i) line.push_back(alphabet[random() % 5]);
    }
    while (static_cast<int>(text.size()) < length)
      if (round % 3 == 0)
        text += lines[random() % 2 ? 0 : random() % 3] + u"\r\n";
      else
        text.push_back(alphabet[random() % alphabet.size()]);
    const LabelIndex index(text);
    for (int probe = 0; probe < 20; ++probe) {
      std::u16string label;
      const int size = static_cast<int>(random() % 22);
      if (probe % 2 == 0)  // most of these begin some line
        label = lines[random() % 3].substr(0, static_cast<std::size_t>(size));
      else
        for (int i = 0; i < size; ++i) label.push_back(alphabet[random() % alphabet.size()]);
      const LabelIndex::Found want = Searched(text, label);
      const LabelIndex::Found got = index.Find(label);
      EXPECT_EQ(got.first, want.first) << "round " << round << " probe " << probe;
      EXPECT_EQ(got.second, want.second) << "round " << round << " probe " << probe;
    }
  }
}

// Lines in groups that agree on their first units and on more, in an order that sorting
// by the first units alone does not put right, each line a label of the test.
std::vector<std::u16string> LinesSharingBeginnings() {
  std::vector<std::u16string> lines;
  for (const std::u16string_view stem : {u"[scene", u"[sce", u"[door", u"go on", u"x"})
    for (const std::u16string_view tail : {u"Z]", u"9]", u"A]", u"", u"M] more", u"A] again"})
      lines.push_back(std::u16string(stem) + std::u16string(tail));
  return lines;
}

std::u16string TextOf(const std::vector<std::u16string>& lines) {
  std::u16string text = u"title";
  for (const std::u16string& line : lines) text += u"\r\n" + line;
  return text + u"\r\n";
}

TEST(LabelIndex, ConcurrentLookupsAgreeWithTheSearch) {
  const std::vector<std::u16string> labels = LinesSharingBeginnings();
  std::u16string text;
  for (int copy = 0; copy < 40; ++copy) text += TextOf(labels);
  std::vector<LabelIndex::Found> want;
  for (const std::u16string& label : labels) want.push_back(Searched(text, label));
  const LabelIndex index(text);
  // Each thread asks for every label, from a different one first, so that several of
  // them need the same group sorted at once.
  constexpr std::size_t kThreads = 8;
  std::vector<std::vector<LabelIndex::Found>> got(kThreads, std::vector<LabelIndex::Found>(labels.size()));
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int round = 0; round < 50; ++round)
        for (std::size_t i = 0; i < labels.size(); ++i) {
          const std::size_t label = (i + t * 7) % labels.size();
          got[t][label] = index.Find(labels[label]);
        }
    });
  for (std::thread& thread : threads) thread.join();
  for (std::size_t t = 0; t < kThreads; ++t)
    for (std::size_t label = 0; label < labels.size(); ++label) {
      EXPECT_EQ(got[t][label].first, want[label].first) << "thread " << t << " label " << label;
      EXPECT_EQ(got[t][label].second, want[label].second) << "thread " << t << " label " << label;
    }
}

// The index of the next version of a text is made from the last one's while other
// threads still search that one and sort its groups: it takes over the groups sorted in
// time, and answers as the search of the new text does.
TEST(LabelIndex, MadeFromTheLastOneWhileThatIsSearched) {
  const std::vector<std::u16string> labels = LinesSharingBeginnings();
  std::u16string text;
  for (int copy = 0; copy < 40; ++copy) text += TextOf(labels);
  const LabelIndex previous(text);
  const std::size_t from = 20 * TextOf(labels).size();  // where a copy begins
  const std::u16string added = u"[sceneQ]\r\n[scene9]\r\n";
  std::u16string next = text;
  next.insert(from, added);
  std::vector<LabelIndex::Found> want;
  for (const std::u16string& label : labels) want.push_back(Searched(next, label));
  std::atomic<bool> done = false;
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < 2; ++t)
    threads.emplace_back([&, t] {
      for (std::size_t i = 0; !done; ++i) previous.Find(labels[(i + t * 7) % labels.size()]);
    });
  for (int round = 0; round < 20; ++round) {
    const LabelIndex index(next, previous, from, from, from + added.size());
    for (std::size_t label = 0; label < labels.size(); ++label) {
      EXPECT_EQ(index.Find(labels[label]).first, want[label].first) << "round " << round << " label " << label;
      EXPECT_EQ(index.Find(labels[label]).second, want[label].second) << "round " << round << " label " << label;
    }
  }
  done = true;
  for (std::thread& thread : threads) thread.join();
}

// Sorting a group allocates; when that fails, the lookup fails, and every later one
// still answers right: the group must not be taken for sorted.
TEST(LabelIndex, LookupsAfterAFailedSortStillAgreeWithTheSearch) {
  if (!QUILLSHADE_FAILING_ALLOCATIONS) GTEST_SKIP() << "allocations cannot be made to fail in this build";
  const std::vector<std::u16string> labels = LinesSharingBeginnings();
  const std::u16string text = TextOf(labels) + TextOf(labels);
  bool succeeded = false;
  for (long failing = 0; failing < 64 && !succeeded; ++failing) {
    const LabelIndex index(text);
    allocationsUntilFailure = failing;
    try {
      index.Find(u"[sceneM] more");
      succeeded = true;
    } catch (const std::bad_alloc&) {
    }
    allocationsUntilFailure = -1;
    for (const std::u16string& label : labels) {
      EXPECT_EQ(index.Find(label).first, Searched(text, label).first) << "allocation " << failing;
      EXPECT_EQ(index.Find(label).second, Searched(text, label).second) << "allocation " << failing;
    }
  }
  EXPECT_TRUE(succeeded);
}

// A text of lines, and the edits the index is patched by: lines [at, at + removed)
// replaced by others, as an editor hands them on.
struct Lines {
  std::vector<std::u16string> lines;
  std::u16string Text() const {
    std::u16string text;
    for (std::size_t line = 0; line < lines.size(); ++line) text += (line == 0 ? u"" : u"\r\n") + lines[line];
    return text;
  }
  std::size_t Offset(std::size_t line) const {
    std::size_t offset = 0;
    for (std::size_t i = 0; i < line; ++i) offset += lines[i].size() + 2;
    return offset;
  }
};

struct Patched {
  std::u16string text;
  std::unique_ptr<LabelIndex> index;
};

// Lines [at, at + removed) replaced by `added`, the index patched from the last one.
Patched Edit(Lines& lines, const Patched& previous, std::size_t at, std::size_t removed,
             const std::vector<std::u16string>& added) {
  const bool toEnd = at + removed == lines.lines.size();
  const std::size_t from = lines.Offset(at);
  const std::size_t previousTo = toEnd ? previous.text.size() : lines.Offset(at + removed);
  lines.lines.erase(lines.lines.begin() + static_cast<std::ptrdiff_t>(at),
                    lines.lines.begin() + static_cast<std::ptrdiff_t>(at + removed));
  lines.lines.insert(lines.lines.begin() + static_cast<std::ptrdiff_t>(at), added.begin(), added.end());
  Patched next{lines.Text(), nullptr};
  const std::size_t to = toEnd ? next.text.size() : lines.Offset(at + added.size());
  next.index = std::make_unique<LabelIndex>(next.text, *previous.index, from, previousTo, to);
  return next;
}

// Re-reading one break too few after the change left the third "same" out: the rule that
// drops a line equal to the two before it was judged on lines the edit removed.
TEST(LabelIndex, PatchRereadsTheLinesThatEqualLinesBeforeThemLeftOut) {
  Lines lines{{u"same", u"same", u"same", u"same", u""}};
  Patched previous{lines.Text(), nullptr};
  previous.index = std::make_unique<LabelIndex>(previous.text);
  const Patched next = Edit(lines, previous, 0, 1, {});
  EXPECT_EQ(next.index->Find(u"same").first, Searched(next.text, u"same").first);
  EXPECT_EQ(next.index->Find(u"same").second, Searched(next.text, u"same").second);
}

// Sequences of random edits of whole lines, deletions and replacements at the very start
// and through the end among them, each index patched from the last patched one and
// compared with a fresh index of the same text: every line, a beginning of each, and
// random strings looked up.
TEST(LabelIndex, PatchedAfterRandomEditsAnswersAsAFreshIndex) {
  std::mt19937 random(11);
  const std::vector<std::u16string> vocabulary = {
      u"same",   u"same",      u"",           u"[scene1] a",  u"[scene2] b", u"[scene1]", u"[sce",
      u"scen",   u"go",        u"gone",       u"x",           u"[door] open", u"[door] shut",
      u"abcdefghX", u"abcdefghA", u"abcd", u"a\rb", u"\n"};
  const auto line = [&] { return vocabulary[random() % vocabulary.size()]; };
  for (int sequence = 0; sequence < 30; ++sequence) {
    Lines lines;
    const std::size_t count = 1 + random() % (sequence % 10 == 0 ? 300 : 30);
    // Runs of equal lines, which the index keeps only the first two of.
    for (std::size_t i = 0; i < count; ++i) lines.lines.push_back(i > 0 && random() % 2 ? lines.lines.back() : line());
    Patched current{lines.Text(), nullptr};
    current.index = std::make_unique<LabelIndex>(current.text);
    for (int edit = 0; edit < 8; ++edit) {
      // Lookups that sort groups of the index patched from, which the next one takes over.
      for (int i = 0; i < 3; ++i) current.index->Find(line() + line());
      const std::size_t size = lines.lines.size();
      const std::size_t at = random() % 3 == 0 ? 0 : random() % (size + 1);
      std::size_t removed = random() % (size - at + 1);
      if (removed > 4 && random() % 2 == 0) removed = random() % 4;
      std::vector<std::u16string> added(random() % 4);
      for (std::u16string& text : added) text = random() % 2 && at < size ? lines.lines[at] : line();
      // The last line is never removed whole without another in its place: the break
      // before it would go too, and the edit would begin inside a line.
      if (at > 0 && at + removed == size && added.empty()) added.push_back(line());
      if (at == size && added.empty()) continue;
      Patched next = Edit(lines, current, at, removed, added);
      const LabelIndex fresh(next.text);
      std::vector<std::u16string> labels;
      for (const std::u16string& text : lines.lines) {
        labels.push_back(text);
        labels.push_back(text.substr(0, random() % (text.size() + 1)));
      }
      for (int i = 0; i < 10; ++i) labels.push_back(line().substr(0, random() % 6) + line());
      for (const std::u16string& label : labels) {
        const LabelIndex::Found want = fresh.Find(label);
        const LabelIndex::Found got = next.index->Find(label);
        ASSERT_EQ(got.first, want.first) << "sequence " << sequence << " edit " << edit << " label size " << label.size();
        ASSERT_EQ(got.second, want.second) << "sequence " << sequence << " edit " << edit << " label size " << label.size();
      }
      current = std::move(next);
    }
  }
}

// An edit that does not fit the two texts is no patch: the index is made whole.
TEST(LabelIndex, PatchThatDoesNotFitTheTextsIsMadeWhole) {
  const std::u16string before = u"x\r\n[a]\r\n[b]\r\n";
  const std::u16string after = u"x\r\n[b]\r\n[a]\r\n";
  const LabelIndex previous(before);
  for (const auto& [from, previousTo, to] : {std::tuple<std::size_t, std::size_t, std::size_t>{4, 4, 4},  // a change left out
                                             {4, 9, 9}, {5, 9, 9},  // a change that begins inside a line
                                             {3, 14, 99}}) {         // past the end
    const LabelIndex index(after, previous, from, previousTo, to);
    EXPECT_EQ(index.Find(u"[a]").first, Searched(after, u"[a]").first);
    EXPECT_EQ(index.Find(u"[b]").first, Searched(after, u"[b]").first);
  }
}

TEST(LabelIndex, EmptyTextAndTextWithoutLineBreaks) {
  EXPECT_EQ(LabelIndex(u"").Find(u"x").first, 0);
  EXPECT_EQ(LabelIndex(u"x").Find(u"x").first, 0);
  EXPECT_EQ(LabelIndex(u"x").Find(u"").first, 0);
}

}  // namespace
}  // namespace quillshade
