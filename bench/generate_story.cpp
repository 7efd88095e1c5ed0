// Writes a generated story file of a given size, for the whole-process benchmark.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "bench/story_generator.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: quillshade_generate_story MEGABYTES OUT.qsd [japanese|english|dense]\n");
    return 2;
  }
  const auto shape = quillshade::bench::ShapeNamed(argc == 4 ? argv[3] : "japanese");
  if (!shape) {
    std::fprintf(stderr, "quillshade_generate_story: '%s' is no shape (japanese, english, dense)\n", argv[3]);
    return 2;
  }
  char* end = nullptr;
  const unsigned long megabytes = std::strtoul(argv[1], &end, 10);
  if (*end != '\0' || megabytes == 0 || megabytes > 4096) {
    std::fprintf(stderr, "quillshade_generate_story: '%s' is not a size in megabytes (1..4096)\n", argv[1]);
    return 2;
  }
  const std::string story = quillshade::bench::GenerateStoryFile(megabytes * 1000 * 1000, *shape);
  std::ofstream out(argv[2], std::ios::binary);
  out.write(story.data(), static_cast<std::streamsize>(story.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "quillshade_generate_story: %s: cannot be written\n", argv[2]);
    return 1;
  }
  return 0;
}
