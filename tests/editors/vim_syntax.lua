-- Writes the Vim syntax groups of each line of a story, run by run, for the editor stage
-- to compare with a listing: the filetype must be detected and the parts coloured.
-- Run as: STORY=... OUT=... nvim --headless --clean --cmd 'set rtp^=editors/vim' -c 'luafile vim_syntax.lua'
local lines = {}
local ok, problem = pcall(function()
  vim.cmd('syntax on')
  vim.cmd('edit ' .. os.getenv('STORY'))
  table.insert(lines, 'filetype: ' .. vim.bo.filetype)
  for row = 1, vim.fn.line('$') do
    local text = vim.fn.getline(row)
    table.insert(lines, text)
    local runs = {}
    for col = 1, #text do
      local name = vim.fn.synIDattr(vim.fn.synID(row, col, 1), 'name')
      if #runs == 0 or runs[#runs].name ~= name then table.insert(runs, { name = name, from = col }) end
    end
    for i, run in ipairs(runs) do
      local to = runs[i + 1] and runs[i + 1].from - 1 or #text
      if run.name ~= '' then table.insert(lines, string.format('  %q %s', text:sub(run.from, to), run.name)) end
    end
  end
end)
if not ok then table.insert(lines, 'failed: ' .. tostring(problem)) end
local file = assert(io.open(os.getenv('OUT'), 'w'))
file:write(table.concat(lines, '\n') .. '\n')
file:close()
vim.cmd(ok and 'qa!' or 'cq!')
