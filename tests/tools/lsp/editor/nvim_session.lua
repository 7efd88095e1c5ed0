-- An editor session against `qsd lsp` in Neovim's own client: open a story, wait for
-- its diagnostics, go to a definition, rename a label, and write down what came of it.
-- Run as: QSD=... STORY=... OUT=... nvim --headless --clean -c "luafile nvim_session.lua"
local qsd, story, out = os.getenv('QSD'), os.getenv('STORY'), os.getenv('OUT')
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
  vim.cmd('edit ' .. story)
  local buffer = vim.api.nvim_get_current_buf()
  local version = -1
  local publish = vim.lsp.handlers['textDocument/publishDiagnostics']
  vim.lsp.handlers['textDocument/publishDiagnostics'] = function(err, result, ctx, config)
    version = result.version or version
    return publish(err, result, ctx, config)
  end
  local client = vim.lsp.start_client({ name = 'qsd', cmd = { qsd, 'lsp' }, root_dir = vim.fn.fnamemodify(story, ':h') })
  vim.lsp.buf_attach_client(buffer, client)
  local function current() return version == vim.lsp.util.buf_versions[buffer] end

  wait_for('the first diagnostics', current)
  note_diagnostics('diagnostics:')

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
end

local ok, problem = pcall(session)
if not ok then note('failed: ' .. tostring(problem)) end
local file = assert(io.open(out, 'w'))
file:write(table.concat(lines, '\n') .. '\n')
file:close()
vim.cmd(ok and 'qa!' or 'cq!')
