// The reader in a browser: the page's script calls these, a thin main over the web port.
#include <emscripten.h>

#include <memory>
#include <tuple>

#include "story/code_page.h"
#include "ui/web/web_window.h"

namespace {

// The page's one window; made once the page has its script ready.
std::unique_ptr<quillshade::WebWindow> window;

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void quillshade_start(int hidden) {
  // Story files are made in code page 932, whatever the browser's own language.
  if (!window) window = std::make_unique<quillshade::WebWindow>(quillshade::Cp932CodePage(), hidden != 0);
}

// Answers whether the key moved the reader: where reading stands, the pending choice or
// a flag changed. A play pane replays only the keys that did.
EMSCRIPTEN_KEEPALIVE int quillshade_key(int keyCode) {
  if (!window) return 0;
  const quillshade::Story& story = window->form().story;
  const auto state = [&story] { return std::tuple(story.ReadPos, story.ChoiceList, quillshade::FlagsOf(story)); };
  const auto before = state();
  window->KeyDown(keyCode);
  return state() != before ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void quillshade_start_over(int arriving) {
  if (window) window->StartOver(static_cast<quillshade::FlagBits>(arriving));
}

EMSCRIPTEN_KEEPALIVE void quillshade_restore() {
  if (window) window->Restore();
}

EMSCRIPTEN_KEEPALIVE void quillshade_menu(int item) {
  if (window) window->Choose(static_cast<quillshade::MenuItem>(item));
}

EMSCRIPTEN_KEEPALIVE void quillshade_load_begin() {
  if (window) window->BeginPageStory();
}

EMSCRIPTEN_KEEPALIVE int quillshade_load_step(double budget) { return !window || window->ReadPageStoryOn(budget) ? 1 : 0; }

EMSCRIPTEN_KEEPALIVE void quillshade_open(int present) {
  if (window) window->OpenPageStory(present != 0);
}

}  // extern "C"

int main() { return 0; }
