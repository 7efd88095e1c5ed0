// frmMain in a browser tab: the window port over the page, and nothing more.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "story/code_page.h"
#include "ui/form.h"
#include "ui/web/page_story.h"
#include "ui/window_port.h"

namespace quillshade {

// The name under which the form loads the bytes of a story that the page was handed
// (chosen, dropped, fetched or embedded); they are never a file.
inline constexpr std::string_view kPageStoryPath = "/page-story.qsd";

// The menu items of the page's menu bar, as the page names them to the port.
enum class MenuItem { Open = 1, Exit = 2, Version = 3 };

// The reader's only window: the tab's title is the caption, the page's keys are the
// form's keys. A browser cannot wait inside a handler, so the modal parts that the form
// waits for end the handler instead, and the page carries on once they are answered:
//  - the open dialog: the page opens its file chooser and the port answers "cancelled",
//    which changes nothing; the chosen file then loads through OpenStoryAt, which is
//    what the Open command does once its dialog has answered.
//  - a message box: the page shows it as a modal dialog and takes no key and no other
//    command until it is closed, so nothing runs on before it is, as on a desktop.
//    Space alone still reaches the form: the box waits behind the decoy, as a desktop's
//    box waits on a minimised window.
// The page has one thread, so a story's bytes are decoded in slices before the form loads
// them (BeginPageStory, ReadPageStoryOn), and a key is answered between two slices.
class WebWindow final : public WindowPort {
 public:
  // A page that was hidden when it was left starts hidden: nothing of the reader shows
  // until Space, not even its starting caption.
  WebWindow(const CodePage& storyCodePage, bool startHidden);

  Form& form() { return form_; }

  // One key of the page, as a virtual-key code. While the page is hidden only Space
  // counts, and it shows the page again, as a restored window.
  void KeyDown(int keyCode);
  // A deliberate gesture on the hidden page (a double-click) shows it again.
  void Restore();
  void Choose(MenuItem item);
  // Starts reading the story whose bytes the page holds, under the hourglass and the
  // loading notice, as the Open command shows them while it reads.
  void BeginPageStory();
  // Reads on through about `budget` bytes; true once the story is read (or has failed).
  bool ReadPageStoryOn(double budget);
  // Loads the story read since BeginPageStory, or, when the page could not get its bytes,
  // fails as a dialog's failed answer does.
  void OpenPageStory(bool present);
  bool Ended() const { return ended_; }
  // Forgets the story and where reading stood, as a page opened anew, but for flags D
  // and E, which are as `arriving` has them, as an earlier story would have left them: a
  // play pane starts so before it loads a story and replays keys on it.
  void StartOver(FlagBits arriving);

  // Every text the tab's title or a box shows goes through here and is set as text.
  void SetCaption(std::u16string_view caption) override;
  void SetBusyPointer(bool busy) override;
  // A tab's size belongs to the browser.
  void SetWidthTwips(double) override {}
  void SetHeightTwips(double) override {}
  bool IsMinimized() const override { return hidden_; }
  // Hides the page behind the decoy of an empty new tab.
  void Minimize() override;
  void ShowMessage(std::u16string_view text, std::optional<std::u16string_view> title) override;
  std::optional<std::filesystem::path> ShowOpenDialog(const OpenDialogSettings& settings) override;
  void EndProgram() override;

 private:
  template <class Handler>
  void Run(Handler handler);

  Form form_;
  std::u16string shown_;  // the caption, kept while the decoy stands in for it
  std::unique_ptr<PageStoryReader> pageStory_;  // the story being read, until the form loads it
  bool hidden_ = false;
  bool ended_ = false;
};

}  // namespace quillshade
