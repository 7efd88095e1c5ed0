#!/bin/sh
# Packs the VS Code extension as one .vsix per platform, each with its own qsd inside:
# linux-x64 from the release build, win32-x64 from the windows preset's qsd.exe. The
# files land in build/vsix/. Both hold the reader page for the play panel: the one the web
# stage built in build/web, else built here (Emscripten, the page's target alone).
# Usage: scripts/package-vsix.sh [linux-x64] [win32-x64]
set -eu
cd "$(dirname "$0")/.."
targets=${*:-linux-x64 win32-x64}
version=$(sed -n 's/^project(Quillshade VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no version in CMakeLists.txt" >&2; exit 1; }
command -v npm > /dev/null || QUILLSHADE_EXTRA_PACKAGES="nodejs npm" ./scripts/install-deps.sh
(cd editors/vscode && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
page=build/web/ui/web/quillshade.html
if [ ! -f "$page" ]; then
  QUILLSHADE_EXTRA_PACKAGES="emscripten node-acorn" ./scripts/install-deps.sh
  [ -d build/web ] || NODE_PATH=/usr/share/nodejs cmake --preset web > /dev/null
fi
NODE_PATH=/usr/share/nodejs cmake --build build/web --target quillshade_page
out="$PWD/build/vsix"
mkdir -p "$out"
root=$PWD
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
for target in $targets; do
  case $target in
    linux-x64) preset=release program=qsd ;;
    win32-x64) preset=windows program=qsd.exe ;;
    *) echo "unknown target $target (linux-x64 or win32-x64)" >&2; exit 2 ;;
  esac
  [ -d "build/$preset" ] || cmake --preset "$preset" > /dev/null
  cmake --build "build/$preset" --target qsd
  # A copy of the extension with only what it runs on: its own qsd and its production modules.
  rm -rf "$stage/extension"
  mkdir -p "$stage/extension/bin"
  (cd editors/vscode && cp -r package.json package-lock.json extension.js play_panel.js language-configuration.json \
    README.md .vscodeignore syntaxes "$stage/extension/")
  mkdir -p "$stage/extension/page"
  cp "$page" "$stage/extension/page/"
  cp "build/$preset/tools/qsd/$program" "$stage/extension/bin/"
  (cd "$stage/extension" &&
    node -e 'const fs = require("fs"); const p = JSON.parse(fs.readFileSync("package.json"));
      p.version = process.argv[1]; fs.writeFileSync("package.json", JSON.stringify(p, null, 2));' "$version" &&
    npm ci --omit=dev --ignore-scripts --no-audit --no-fund --loglevel=error &&
    "$root/editors/vscode/node_modules/.bin/vsce" package --target "$target" --skip-license \
      --allow-missing-repository -o "$out/quillshade-story-$version-$target.vsix")
done
ls -l "$out"
