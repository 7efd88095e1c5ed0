// qsd, the Quillshade story toolkit.
#include "tools/qsd/commands/cli.h"

int main(int argc, char** argv) { return quillshade::qsd::Main(argc, argv); }
