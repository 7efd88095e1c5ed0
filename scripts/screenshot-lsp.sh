#!/bin/sh
# Renders docs/screenshot-lsp.png: Neovim in a terminal under Xvfb, its built-in client
# talking to qsd lsp, with the diagnostics of a story and the hover of one of its lines.
# Usage: scripts/screenshot-lsp.sh [OUTPUT.png]
set -eu
cd "$(dirname "$0")/.."
out=${1:-docs/screenshot-lsp.png}
case "$out" in /*) ;; *) out=$(pwd)/$out ;; esac
QUILLSHADE_EXTRA_PACKAGES="neovim xterm xvfb openbox xdotool imagemagick fonts-dejavu-core" ./scripts/install-deps.sh
[ -d build/dev ] || cmake --preset dev > /dev/null
cmake --build build/dev --target qsd
qsd=$(pwd)/build/dev/tools/qsd/qsd

work=$(mktemp -d)
cleanup() {
  [ -z "${term_pid:-}" ] || kill "$term_pid" 2> /dev/null || true
  [ -z "${wm_pid:-}" ] || kill "$wm_pid" 2> /dev/null || true
  [ -z "${x_pid:-}" ] || kill "$x_pid" 2> /dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cp tests/tools/lsp/editor/fox.txt "$work/"
cat > "$work/init.lua" <<LUA
vim.o.number = true
vim.o.signcolumn = 'yes'
vim.o.termguicolors = true
vim.cmd('highlight NormalFloat guibg=#34344a guifg=#e8e8e8')
vim.cmd('highlight SignColumn guibg=NONE')
vim.cmd('highlight LineNr guifg=#7a7a8c')
vim.api.nvim_create_autocmd('VimEnter', { callback = function()
  local client = vim.lsp.start_client({ name = 'qsd', cmd = { '$qsd', 'lsp' }, root_dir = '$work' })
  vim.lsp.buf_attach_client(0, client)
  vim.wait(10000, function() return #vim.diagnostic.get(0) > 0 end, 50)
  vim.api.nvim_win_set_cursor(0, { 5, 2 })
  vim.defer_fn(function()
    vim.lsp.buf.hover()
    vim.defer_fn(function() vim.fn.writefile({ 'shown' }, '$work/ready') end, 1000)
  end, 300)
end })
LUA

display=:$((90 + $$ % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp > /dev/null 2>&1 &
x_pid=$!
export DISPLAY="$display"
sleep 1
openbox > /dev/null 2>&1 &
wm_pid=$!
sleep 1
(cd "$work" && TERM=xterm-256color xterm -geometry 112x16 -fa 'DejaVu Sans Mono' -fs 12 -bg '#1e1e24' -fg '#dcdcdc' \
  -title 'Neovim: fox.txt' -e nvim --clean -u "$work/init.lua" fox.txt) &
term_pid=$!
n=0
until [ -e "$work/ready" ]; do
  n=$((n + 1))
  [ $n -lt 300 ] || { echo "Neovim did not show the hover" >&2; exit 1; }
  sleep 0.1
done
window=$(xdotool search --name 'Neovim: fox.txt' | head -n 1)
import -window "$window" "$out"
echo "wrote $out"
