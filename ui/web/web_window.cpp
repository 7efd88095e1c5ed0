// The web window port: each of the form's calls as one call into the page's script.
#include "ui/web/web_window.h"

#include <emscripten.h>

#include <cstdint>
#include <string>

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
// clang-format on

int Length(std::u16string_view text) { return static_cast<int>(text.size()); }

}  // namespace

WebWindow::WebWindow(const CodePage& storyCodePage) : form_(*this, storyCodePage) {
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

void WebWindow::OpenPageStory(bool present) {
  const std::filesystem::path path = present ? std::filesystem::path(kPageStoryPath) : std::filesystem::path();
  Run([&path](Form& form) { OpenStory(form, path); });
  // The page's copy of the file has done its work: the story is in the form now.
  std::error_code ignored;
  std::filesystem::remove(kPageStoryPath, ignored);
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
