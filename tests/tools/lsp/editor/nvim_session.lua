-- An editor session against `qsd lsp` in Neovim's own client, configured by the README's
-- snippet: open a story, wait for its diagnostics and lenses, go to a definition, rename
-- a label, complete one with the omnifunc, and write down what came of it.
-- Run as: SNIPPET=... STORY=... OUT=... nvim --headless --clean -c "luafile nvim_session.lua"
-- with the qsd to test first on PATH.
local snippet, story, out = os.getenv('SNIPPET'), os.getenv('STORY'), os.getenv('OUT')
local lines = {}
local function note(text) table.insert(lines, text) end

local function wait_for(what, condition)
  if not vim.wait(20000, condition, 20) then error('timed out waiting for ' .. what) end
end

local function note_diagnostics(title)
  note(title)
  local found = vim.diagnostic.get(0)
  table.sort(found, function(a, b)
    if a.lnum ~= b.lnum then return a.lnum < b.lnum end
    return a.col < b.col
  end)
  for _, d in ipairs(found) do
    local code = d.code or (d.user_data and d.user_data.lsp and d.user_data.lsp.code)
    note(string.format('  %d:%d-%d:%d %s %s', d.lnum + 1, d.col, d.end_lnum + 1, d.end_col,
      d.severity == vim.diagnostic.severity.ERROR and 'error' or 'warning', code))
  end
end

local function session()
  local version = -1
  local publish = vim.lsp.handlers['textDocument/publishDiagnostics']
  vim.lsp.handlers['textDocument/publishDiagnostics'] = function(err, result, ctx, config)
    version = result.version or version
    return publish(err, result, ctx, config)
  end
  -- The snippet starts the server in the current folder, whose stories it reads too.
  vim.cmd('cd ' .. vim.fn.fnameescape(vim.fn.fnamemodify(story, ':h')))
  dofile(snippet)
  local others = {}
  for _, name in ipairs({ 'CMakeLists.txt', 'notes.txt' }) do
    vim.cmd('edit ' .. name)
    others[name] = vim.api.nvim_get_current_buf()
  end
  vim.cmd('edit ' .. vim.fn.fnameescape(story))
  local buffer = vim.api.nvim_get_current_buf()
  local function current() return version == vim.lsp.util.buf_versions[buffer] end

  wait_for('the first diagnostics', current)
  note_diagnostics('diagnostics:')
  -- Other text files beside the stories get no server.
  for name, other in pairs(others) do
    if next(vim.lsp.buf_get_clients(other)) then error('the server serves ' .. name) end
  end
  wait_for('the lenses', function() return #vim.lsp.codelens.get(buffer) > 0 end)

  -- The jump on line 4 goes to the line that begins with its label.
  vim.api.nvim_win_set_cursor(0, { 4, 22 })
  vim.lsp.buf.definition()
  wait_for('the definition', function() return vim.api.nvim_win_get_cursor(0)[1] ~= 4 end)
  local cursor = vim.api.nvim_win_get_cursor(0)
  note(string.format('definition: line %d, column %d', cursor[1], cursor[2]))

  -- Renaming the label there renames it wherever a jump names it.
  vim.api.nvim_win_set_cursor(0, { 5, 2 })
  vim.lsp.buf.rename('forest')
  wait_for('the rename', function() return vim.api.nvim_buf_get_lines(buffer, 4, 5, false)[1]:find('forest') end)
  wait_for('the diagnostics after the rename', current)
  note('buffer:')
  for _, text in ipairs(vim.api.nvim_buf_get_lines(buffer, 0, -1, false)) do note('  ' .. text) end
  note_diagnostics('diagnostics after the rename:')

  -- <C-x><C-o> completes a label, filtered by the word typed ("fo" of "[fo").
  if vim.bo[buffer].omnifunc ~= 'v:lua.vim.lsp.omnifunc' then error('omnifunc is ' .. vim.bo[buffer].omnifunc) end
  vim.api.nvim_buf_set_lines(buffer, -1, -1, false, { 'Go >> [fo' })
  vim.api.nvim_win_set_cursor(0, { vim.api.nvim_buf_line_count(buffer), 0 })
  local last = function() return vim.api.nvim_buf_get_lines(buffer, -2, -1, false)[1] end
  -- The keys run until Insert mode ends: a timer (a Vim one, which runs in Insert mode)
  -- ends it once the item is in, or after 20 s.
  local started = vim.loop.now()
  local timer
  timer = vim.fn.timer_start(20, function()
    if last() ~= 'Go >> [fo' or vim.loop.now() - started > 20000 then
      vim.fn.timer_stop(timer)
      vim.cmd('stopinsert')
    end
  end, { ['repeat'] = -1 })
  vim.api.nvim_feedkeys(vim.api.nvim_replace_termcodes('A<C-x><C-o>', true, false, true), 'x!', false)
  if last() ~= 'Go >> [forest]' then error('the completed line is ' .. last()) end
end

local ok, problem = pcall(session)
if not ok then note('failed: ' .. tostring(problem)) end
local file = assert(io.open(out, 'w'))
file:write(table.concat(lines, '\n') .. '\n')
file:close()
vim.cmd(ok and 'qa!' or 'cq!')
