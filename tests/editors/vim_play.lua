-- :QuillshadePlayHere starts the story at the cursor's line: a story edited without
-- saving, the cursor on a line reached only once an answer has set a flag; the terminal
-- must show that line, as edited, and the keys that reached it.
-- Run as: STORY=... QSD=... nvim --headless --clean --cmd 'set rtp^=editors/vim' -c 'luafile vim_play.lua'
local ok, problem = pcall(function()
  vim.g.quillshade_qsd = os.getenv('QSD')
  vim.cmd('edit ' .. vim.fn.fnameescape(os.getenv('STORY')))
  vim.api.nvim_buf_set_lines(0, 5, 6, true, { 'Far Beyond the door, a garden.' })
  vim.api.nvim_win_set_cursor(0, { 6, 0 })
  vim.cmd('QuillshadePlayHere')
  local terminal = vim.api.nvim_get_current_buf()
  -- The terminal wraps long lines where its window ends.
  local function seen() return table.concat(vim.api.nvim_buf_get_lines(terminal, 0, -1, false), '') end
  local shown = vim.wait(20000, function()
    return seen():find('reached line 6 by the keys 1ddddd, with A set', 1, true) ~= nil
      and seen():find('Far Beyond the door, a garden.', 1, true) ~= nil
  end, 100)
  assert(shown, 'the terminal never showed line 6: ' .. seen())
end)
if not ok then
  io.stderr:write(tostring(problem) .. '\n')
  vim.cmd('cquit 1')
end
io.stdout:write('Neovim: QuillshadePlayHere started at line 6\n')
vim.cmd('qall!')
