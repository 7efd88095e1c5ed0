#!/bin/sh
# Test stage of the reader in a browser: quillshade.html built with Emscripten, then it
# and pages made by qsd publish are driven in Debian's Chromium through the DevTools
# protocol (tests/ui/web, with puppeteer-core from npm); the page and the published
# samples must stay within their sizes. Chromium's translations give the decoy a new
# tab's title to match in Japanese; sqlite3 reads the history a test's browser leaves.
set -eu
cd "$(dirname "$0")/.."
QUILLSHADE_EXTRA_PACKAGES="emscripten node-acorn chromium chromium-l10n sqlite3 fonts-ipafont-gothic" ./scripts/install-deps.sh
# Any node will do (Debian's emscripten finds its acorn through NODE_PATH); Debian's
# own only when there is none.
command -v npm > /dev/null || QUILLSHADE_EXTRA_PACKAGES="nodejs npm" ./scripts/install-deps.sh

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

mkdir -p build
cmake --workflow --preset web > build/web-workflow.log 2>&1 || { cat build/web-workflow.log; exit 1; }
page=$PWD/build/web/ui/web/quillshade.html
[ -d build/dev ] || cmake --preset dev > /dev/null
cmake --build build/dev -j2 --target qsd
qsd=$PWD/build/dev/tools/qsd/qsd

size() { wc -c < "$1" | tr -d ' '; }
[ "$(size "$page")" -lt 1048576 ] || fail "quillshade.html is $(size "$page") bytes, not under 1 MiB"
echo "quillshade.html: $(size "$page") bytes"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for story in examples/*.qsd; do
  name=$(basename "$story" .qsd)
  "$qsd" publish "$story" -o "$work/$name.html" --reader "$page"
  [ "$(size "$work/$name.html")" -lt 1258291 ] || fail "the published $name is $(size "$work/$name.html") bytes, not under 1.2 MiB"
  echo "qsd publish $story: $(size "$work/$name.html") bytes"
done

# qsd.exe, when the Windows stage has built it, writes the same page under Wine.
exe=build/windows/tools/qsd/qsd.exe
if [ -x "$exe" ] && command -v wine > /dev/null; then
  WINEPREFIX="$work/wine" WINEDEBUG=-all wine "$exe" publish examples/lantern.txt -o "$work/windows.html" --reader "$page" ||
    fail "qsd.exe publish failed under Wine"
  "$qsd" publish examples/lantern.txt -o "$work/linux.html" --reader "$page"
  cmp -s "$work/windows.html" "$work/linux.html" || fail "qsd.exe publish writes another page than qsd"
  echo "qsd.exe publish under Wine: the same page"
else
  echo "qsd.exe publish under Wine: no Windows build here (the Windows stage makes build/windows)"
fi

(cd tests/ui/web && npm ci --no-audit --no-fund --loglevel=error)
QUILLSHADE_WEB_PAGE=$page QUILLSHADE_QSD=$qsd node --test tests/ui/web/
echo "web stage passed"
