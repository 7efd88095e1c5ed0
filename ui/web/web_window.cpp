// The web window port: each of the form's calls as one call into the page's script.
#include "ui/web/web_window.h"

#include <emscripten.h>

#include <cstdint>
#include <limits>
#include <string>

#include "ui/web/page_story.h"

namespace quillshade {
namespace {

// The page's own functions (reader.js), reached through the module object. Texts cross
// as UTF-16 code units with their length, so an embedded NUL or a lone surrogate reaches
// the page as it is.
// clang-format off
EM_JS(void, PageSetTitle, (const char16_t* text, int length), {
  Module.quillshadePage.setTitle(Module.quillshadeText(text, length));
});
EM_JS(void, PageSetBusy, (int busy), { Module.quillshadePage.setBusy(!!busy); });
EM_JS(void, PageHide, (), { Module.quillshadePage.hide(); });
EM_JS(void, PageShow, (), { Module.quillshadePage.show(); });
EM_JS(void, PageShowMessage, (const char16_t* text, int textLength, const char16_t* title, int titleLength), {
  Module.quillshadePage.showMessage(Module.quillshadeText(text, textLength), Module.quillshadeText(title, titleLength));
});
EM_JS(void, PageChooseFile, (const char16_t* filterPattern, int length), {
  Module.quillshadePage.chooseFile(Module.quillshadeText(filterPattern, length));
});
EM_JS(void, PageEnd, (), { Module.quillshadePage.end(); });
// The story's bytes that the page holds: their count (-1 when it holds none), and a copy
// of some of them. Offsets go as doubles, which hold any offset exactly.
EM_JS(double, PageStorySize, (), { return Module.quillshadeStory ? Module.quillshadeStory.length : -1; });
EM_JS(void, PageCopyStory, (char* into, double offset, int count), {
  HEAPU8.set(Module.quillshadeStory.subarray(offset, offset + count), into);
});
// clang-format on

int Length(std::u16string_view text) { return static_cast<int>(text.size()); }

}  // namespace

WebWindow::WebWindow(const CodePage& storyCodePage, bool startHidden)
    : form_(*this, storyCodePage), hidden_(startHidden) {
  // A story reaches the page as bytes, never as a file: the load takes what the slices read.
  form_.readStoryFile = [this](const std::filesystem::path& path, const CodePage&) {
    if (path != kPageStoryPath || !pageStory_) return StoryFile{StoryFileStatus::NotFound, {}};
    while (!pageStory_->ReadOn(std::numeric_limits<std::uint64_t>::max())) {
    }
    StoryFile file = pageStory_->Take();
    pageStory_.reset();
    return file;
  };
  Run([](Form& form) { Form_Load(form); });
}

template <class Handler>
void WebWindow::Run(Handler handler) {
  if (ended_) return;
  RunHandler(form_, handler);
}

void WebWindow::KeyDown(int keyCode) {
  if (ended_) return;
  if (hidden_) {
    if (keyCode == keys::kSpace) Restore();
    return;
  }
  Run([keyCode](Form& form) { Form_KeyDown(form, keyCode); });
}

void WebWindow::Restore() {
  if (!hidden_ || ended_) return;
  hidden_ = false;
  PageShow();
  PageSetTitle(shown_.data(), Length(shown_));
}

void WebWindow::Choose(MenuItem item) {
  switch (item) {
    case MenuItem::Open: Run(mnuFileOpen_Click); return;
    case MenuItem::Exit: Run(mnuFileClose_Click); return;
    case MenuItem::Version: Run(mnuHelpVer_Click); return;
  }
}

void WebWindow::BeginPageStory() {
  if (ended_) return;
  const double size = PageStorySize();
  if (size < 0) return;
  const auto copy = [](char* into, std::uint64_t offset, std::size_t count) {
    PageCopyStory(into, static_cast<double>(offset), static_cast<int>(count));
  };
  pageStory_ = std::make_unique<PageStoryReader>(static_cast<std::uint64_t>(size), copy, form_.codePage);
  // What the Open command shows while it reads; it shows them again once the form loads.
  SetBusyPointer(true);
  SetCaption(kLoadingCaption);
}

bool WebWindow::ReadPageStoryOn(double budget) {
  return !pageStory_ || pageStory_->ReadOn(static_cast<std::uint64_t>(budget));
}

void WebWindow::OpenPageStory(bool present) {
  const std::filesystem::path path = present ? std::filesystem::path(kPageStoryPath) : std::filesystem::path();
  Run([&path](Form& form) { OpenStory(form, path); });
  pageStory_.reset();
}

void WebWindow::StartOver(FlagBits arriving) {
  if (ended_) return;
  form_.story = Story{};
  SetFlags(form_.story, static_cast<FlagBits>(arriving & kCarriedFlags));
}

void WebWindow::SetCaption(std::u16string_view caption) {
  shown_ = caption;
  // Behind the decoy the tab keeps the decoy's title; Restore shows the caption.
  if (!hidden_) PageSetTitle(shown_.data(), Length(shown_));
}

void WebWindow::SetBusyPointer(bool busy) { PageSetBusy(busy ? 1 : 0); }

void WebWindow::Minimize() {
  hidden_ = true;
  PageHide();
}

void WebWindow::ShowMessage(std::u16string_view text, std::optional<std::u16string_view> title) {
  const std::u16string_view boxTitle = title.value_or(kApplicationTitle);
  PageShowMessage(text.data(), Length(text), boxTitle.data(), Length(boxTitle));
}

std::optional<std::filesystem::path> WebWindow::ShowOpenDialog(const OpenDialogSettings& settings) {
  PageChooseFile(settings.filterPattern.data(), Length(settings.filterPattern));
  return std::nullopt;
}

void WebWindow::EndProgram() {
  ended_ = true;
  PageEnd();
}

}  // namespace quillshade
