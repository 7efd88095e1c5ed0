#!/bin/sh
# Packs the VS Code extension as one .vsix per platform, each with its own qsd inside:
# linux-x64 from the portable build (qsd linked statically, so it runs on any x86-64
# Linux), win32-x64 from the windows preset's qsd.exe. The client is bundled into one
# file; the icon is drawn from its SVG. Both hold the reader page for the play panel: the
# one the web stage built in build/web, else built here (Emscripten, the page's target
# alone). The files land in build/vsix/.
# Usage: scripts/package-vsix.sh [linux-x64] [win32-x64]
set -eu
cd "$(dirname "$0")/.."
targets=${*:-linux-x64 win32-x64}
version=$(sed -n 's/^project(Quillshade VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "no version in CMakeLists.txt" >&2; exit 1; }
command -v npm > /dev/null || QUILLSHADE_EXTRA_PACKAGES="nodejs npm" ./scripts/install-deps.sh
command -v rsvg-convert > /dev/null || QUILLSHADE_EXTRA_PACKAGES=librsvg2-bin ./scripts/install-deps.sh
source=editors/vscode
# npm ci starts from nothing, so it runs only when the lock file changed since the last.
[ $source/node_modules/.package-lock.json -nt $source/package-lock.json ] ||
  (cd $source && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
page=build/web/ui/web/quillshade.html
if [ ! -f "$page" ]; then
  QUILLSHADE_EXTRA_PACKAGES="emscripten node-acorn" ./scripts/install-deps.sh
  [ -d build/web ] || NODE_PATH=/usr/share/nodejs cmake --preset web > /dev/null
fi
NODE_PATH=/usr/share/nodejs cmake --build build/web --target quillshade_page
root=$PWD
out="$root/build/vsix"
mkdir -p "$out"
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
for target in $targets; do
  case $target in
    linux-x64) preset=portable program=qsd ;;
    win32-x64) preset=windows program=qsd.exe ;;
    *) echo "unknown target $target (linux-x64 or win32-x64)" >&2; exit 2 ;;
  esac
  [ -d "build/$preset" ] || cmake --preset "$preset" > /dev/null
  cmake --build "build/$preset" --target qsd
  # A copy of the extension with only what it runs on: its own qsd, the client and the
  # modules it requires bundled into dist/extension.js, the grammar, and what the
  # extension's page shows (the README's pictures, the icon, the changelog, the license).
  ext="$stage/extension"
  rm -rf "$ext"
  mkdir -p "$ext/bin" "$ext/images" "$ext/page"
  (cd $source && cp -r package.json language-configuration.json README.md CHANGELOG.md .vscodeignore syntaxes "$ext/")
  find $source/images -name '*.png' -exec cp {} "$ext/images/" \;
  cp packaging/linux/copyright "$ext/LICENSE"
  rsvg-convert -w 128 -h 128 $source/images/icon.svg -o "$ext/images/icon.png"
  cp "build/$preset/tools/qsd/$program" "$ext/bin/"
  cp "$page" "$ext/page/"
  $source/node_modules/.bin/esbuild $source/extension.js --bundle --platform=node --target=node18 --format=cjs \
    --external:vscode --minify --log-level=warning --outfile="$ext/dist/extension.js"
  node -e 'const fs = require("fs"); const [version, file] = process.argv.slice(1);
    const p = JSON.parse(fs.readFileSync(file));
    p.version = version; p.main = "./dist/extension.js";
    delete p.dependencies; delete p.devDependencies;
    fs.writeFileSync(file, JSON.stringify(p, null, 2));' "$version" "$ext/package.json"
  # Run in the copy, so vsce sees only what goes in. The README's pictures stay relative
  # links into the package, which work without a network.
  vsix="$out/quillshade-story-$version-$target.vsix"
  (cd "$ext" && "$root/$source/node_modules/.bin/vsce" package --target "$target" --no-dependencies \
    --no-rewrite-relative-links -o "$vsix" < /dev/null) > "$stage/vsce.log" 2>&1 || { cat "$stage/vsce.log" >&2; exit 1; }
  cat "$stage/vsce.log"
  ! grep -qi warning "$stage/vsce.log" || { echo "vsce warns about $vsix" >&2; exit 1; }
done
ls -l "$out"
