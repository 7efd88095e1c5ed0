#!/bin/sh
# Times a writer's keystrokes in VS Code at 100,000 lines (bench/vscode_typing.js): packs
# the linux-x64 .vsix from the release build and drives code-server, which
# scripts/test-vscode.sh installs in tests/editors/vscode the first time it runs.
# Usage: bench/run_vscode_typing.sh [KEYSTROKES] [LINES]
set -eu
cd "$(dirname "$0")/.."
[ -e tests/editors/vscode/node_modules/code-server/lib/vscode/node_modules/.quillshade-ready ] || {
  echo "code-server is not installed: run scripts/test-vscode.sh once first" >&2
  exit 1
}
./scripts/package-vsix.sh linux-x64 > /dev/null
version=$(sed -n 's/^project(Quillshade VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
exec node bench/vscode_typing.js "build/vsix/quillshade-story-$version-linux-x64.vsix" "$@"
