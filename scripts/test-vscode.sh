#!/bin/sh
# Test stage of the VS Code extension in a real VS Code: code-server (from npm) serves
# the workbench, headless Chromium opens a story with a planted fault, and the fault must
# show in the Problems panel, found by the qsd packed in the linux-x64 .vsix, while the
# grammar colours a label; a label completed after a bracket the editor closed stands
# once; keystrokes in a long story reach the Problems panel; the play panel, the reader
# page packed beside it, plays a story from a line and keeps its place through edits;
# then settings change live, the server restarts, and the extension README's pictures
# are taken (into build/vscode-pictures, or with --update-pictures into
# editors/vscode/images, which the .vsix packs). Needs Node.js 20, as code-server does.
set -eu
pictures=build/vscode-pictures
[ "${1:-}" = --update-pictures ] && pictures=editors/vscode/images
cd "$(dirname "$0")/.."
QUILLSHADE_EXTRA_PACKAGES="nodejs chromium ripgrep make python3 libkrb5-dev libxkbfile-dev libsecret-1-dev libx11-dev" \
  ./scripts/install-deps.sh
command -v npm > /dev/null || QUILLSHADE_EXTRA_PACKAGES=npm ./scripts/install-deps.sh
[ "$(node -p 'process.versions.node.split(".")[0]')" = 20 ] || {
  echo "code-server needs Node.js 20; this is $(node --version)" >&2
  exit 1
}
gyp=$(command -v node-gyp || echo "$(npm root -g)/npm/node_modules/node-gyp/bin/node-gyp.js")
rebuild() { (cd "$1" && shift && node "$gyp" rebuild --nodedir=/usr -j 2 "$@" > build.log 2>&1) || {
  cat "$1/build.log" >&2; echo "building the native module $1 failed" >&2; exit 1; }; }

# code-server's install scripts fetch ripgrep from outside the registries: install
# without scripts, build the native modules here, and lend it Debian's rg.
vscode=tests/editors/vscode
server=$vscode/node_modules/code-server/lib/vscode
if [ ! -e "$server/node_modules/.quillshade-ready" ]; then
  (cd $vscode && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error)
  rebuild $vscode/node_modules/argon2 --module_name=argon2 --napi_build_version=3 \
    --module_path="$PWD/$vscode/node_modules/argon2/lib/binding/napi-v3"
  (cd $server && npm install --omit=dev --ignore-scripts --no-audit --no-fund --loglevel=error)
  for module in kerberos @vscode/spdlog @vscode/deviceid native-watchdog node-pty; do
    rebuild "$server/node_modules/$module"
  done
  mkdir -p "$server/node_modules/@vscode/ripgrep/bin"
  ln -sf "$(command -v rg)" "$server/node_modules/@vscode/ripgrep/bin/rg"
  # What code-server's own install step links after building.
  ln -sfn node_modules "$server/node_modules.asar"
  ln -sf code-linux.sh "$server/bin/remote-cli/code-server"
  ln -sf browser-linux.sh "$server/bin/helpers/browser.sh"
  touch "$server/node_modules/.quillshade-ready"
fi

./scripts/package-vsix.sh linux-x64
version=$(sed -n 's/^project(Quillshade VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp tests/tools/lsp/editor/fox.txt "$work/fox.story.txt"
PICTURES="$PWD/$pictures" timeout 300 node $vscode/session.js "build/vsix/quillshade-story-$version-linux-x64.vsix" "$work/fox.story.txt"
