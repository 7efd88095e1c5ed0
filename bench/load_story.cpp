// Loads a story file as the reader does and writes nothing: the load alone, measured.
#include <cstdio>

#include "story/code_page.h"
#include "story/story_file.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: quillshade_load_story STORY.qsd\n");
    return 2;
  }
  const quillshade::StoryFile file = quillshade::ReadStoryFile(argv[1], quillshade::Cp932CodePage());
  if (file.status != quillshade::StoryFileStatus::Loaded) {
    std::fprintf(stderr, "quillshade_load_story: %s: %s\n", argv[1], quillshade::Describe(file.status));
    return 1;
  }
  std::printf("%zu\n", file.text.size());
  return 0;
}
