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

. tests/lib/poll.sh
. tests/lib/processes.sh
work=$(mktemp -d)
cleanup() {
  stop_started
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
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

start_x_server "$work" -screen 0 1280x800x24
start_window_manager "$work"
(cd "$work" && TERM=xterm-256color xterm -geometry 112x16 -fa 'DejaVu Sans Mono' -fs 12 -bg '#1e1e24' -fg '#dcdcdc' \
  -title 'Neovim: fox.txt' -e nvim --clean -u "$work/init.lua" fox.txt) &
started="$started $!"
wait_for 30 test -e "$work/ready" || { echo "Neovim did not show the hover" >&2; exit 1; }
window=$(xdotool search --name 'Neovim: fox.txt' | head -n 1)
import -window "$window" "$out"
echo "wrote $out"
