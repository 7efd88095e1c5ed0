// A window port that records every call, for tests of the form's logic.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/window_port.h"

namespace quillshade::test {

struct ShownMessage {
  std::u16string text;
  std::optional<std::u16string> title;
};

class FakeWindow final : public WindowPort {
 public:
  void SetCaption(std::u16string_view caption) override {
    if (onCaption) onCaption(caption);
    captions.emplace_back(caption);
    captionWhileBusy.push_back(busy);
  }
  void SetBusyPointer(bool on) override {
    busy = on;
    busyChanges.push_back(on);
  }
  void SetWidthTwips(double twips) override { width = twips; }
  void SetHeightTwips(double twips) override { height = twips; }
  bool IsMinimized() const override { return minimized; }
  void Minimize() override {
    minimized = true;
    ++minimizeCalls;
  }
  void ShowMessage(std::u16string_view text, std::optional<std::u16string_view> title) override {
    messages.push_back({std::u16string(text), title ? std::optional<std::u16string>(*title) : std::nullopt});
  }
  std::optional<std::filesystem::path> ShowOpenDialog(const OpenDialogSettings& settings) override {
    dialogs.push_back(settings);
    if (dialogAnswers.empty()) return std::nullopt;
    std::optional<std::filesystem::path> answer = dialogAnswers.front();
    dialogAnswers.pop_front();
    return answer;
  }
  void EndProgram() override { ended = true; }

  std::u16string Caption() const { return captions.empty() ? std::u16string() : captions.back(); }

  // Called before a caption is taken: a test may throw from it to fail a handler halfway.
  std::function<void(std::u16string_view)> onCaption;
  // Answers of the coming dialogs; nullopt is Cancel, and so is an empty queue.
  std::deque<std::optional<std::filesystem::path>> dialogAnswers;

  std::vector<std::u16string> captions;
  std::vector<bool> captionWhileBusy;
  std::vector<bool> busyChanges;
  std::vector<ShownMessage> messages;
  std::vector<OpenDialogSettings> dialogs;
  bool busy = false;
  bool minimized = false;
  int minimizeCalls = 0;
  bool ended = false;
  double width = -1;
  double height = -1;
};

}  // namespace quillshade::test
