// qsd's command line: picks the command and hands it its arguments.
#pragma once

namespace quillshade::qsd {

int Main(int argc, char** argv);

}  // namespace quillshade::qsd
