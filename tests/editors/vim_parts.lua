-- Vim's syntax reading of a story, one letter per character in the engine's part names
-- (tests/editors/script_parts.cpp says them), for tests/editors/compare_grammars.sh.
-- Run as: STORY=... OUT=... nvim --headless --clean --cmd 'set rtp^=editors/vim' -c 'luafile vim_parts.lua'
local part_of_group = {
  quillshadePrefix = 'p', quillshadeFlagOff = 'k', quillshadeFlagOn = 'k', quillshadeEnd = 'e',
  quillshadeFlag = 'f', quillshadeJumpMarker = 'j', quillshadeJumpSkip = 'j', quillshadeLabelList = 'l',
  quillshadeTarget = 't', quillshadeJumpPart = 't', quillshadeCommandPart = 'c', quillshadeChoicePart = 'q',
}
-- The innermost group that names a part wins: a comma counts as the list it stands in.
local order = { 'p', 'k', 'e', 'f', 'j', 'l', 't', 'c', 'q' }

local function part_at(row, col)
  local found = {}
  for _, id in ipairs(vim.fn.synstack(row, col)) do
    local part = part_of_group[vim.fn.synIDattr(id, 'name')]
    if part then found[part] = true end
  end
  for _, part in ipairs(order) do
    if found[part] then return part end
  end
  return '.'
end

local rows = {}
local ok, problem = pcall(function()
  vim.cmd('syntax on')
  -- Lines that are not UTF-8 are left out of the comparison; the others must keep their
  -- characters, so the file is never read in another encoding.
  vim.cmd('edit ++enc=utf-8 ++bad=keep ' .. vim.fn.fnameescape(os.getenv('STORY')))
  vim.cmd('set filetype=quillshade')
  for row = 1, vim.fn.line('$') do
    local text = vim.fn.getline(row)
    local letters = {}
    local col = 1
    while col <= #text do
      local byte = text:byte(col)
      local length = byte >= 0xF0 and 4 or byte >= 0xE0 and 3 or byte >= 0xC0 and 2 or 1
      local c = text:sub(col, col)
      if c == '\r' and col == #text then break end
      table.insert(letters, (c == ' ' or c == '\t') and '_' or part_at(row, col))
      col = col + length
    end
    table.insert(rows, table.concat(letters))
  end
end)
if not ok then table.insert(rows, 'failed: ' .. tostring(problem)) end
local file = assert(io.open(os.getenv('OUT'), 'w'))
file:write(table.concat(rows, '\n') .. '\n')
file:close()
vim.cmd(ok and 'qa!' or 'cq!')
