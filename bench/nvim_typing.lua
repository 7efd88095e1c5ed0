-- A writer typing in Neovim at 100,000 lines: Neovim's own client runs `qsd lsp` on a
-- long story, and a letter is typed before a label in the middle (so the jumps to it
-- break and the story after it is lost), then taken back, again and again. Each
-- keystroke is timed until the line finding and the walk's finding are published, and
-- from when Neovim sent the change, which is the server's share.
-- Run as: QSD=build/release/tools/qsd/qsd [KEYSTROKES=15] [LINES=100000] \
--           nvim --headless --clean -c "luafile bench/nvim_typing.lua"
local qsd = assert(os.getenv('QSD'), 'QSD names the qsd to run')
local count = tonumber(os.getenv('KEYSTROKES') or '15')
local size = tonumber(os.getenv('LINES') or '100000')
local clock = vim.loop.hrtime

local function median(values)
  local sorted = vim.deepcopy(values)
  table.sort(sorted)
  return sorted[math.floor(#sorted / 2) + 1]
end

local function run()
  local story = vim.fn.tempname() .. '.story.txt'
  local lines = {}
  for line = 0, size - 2 do
    lines[#lines + 1] = line % 4 == 0 and ('[s' .. line .. '] A scene begins.')
      or line % 4 == 3 and ('It ends. >> [s' .. (line + 1) .. ']') or 'Prose of the scene.'
  end
  lines[#lines + 1] = 'The end. :: END'
  vim.fn.writefile(lines, story)
  vim.cmd('edit ' .. story)
  local buffer = vim.api.nvim_get_current_buf()
  local label = math.floor(size / 8) * 4
  local lineFinding = "no line begins with '[s" .. label .. "]'"
  local walkFinding = 'no way through the story reaches lines ' .. (label + 1) .. ' '

  -- What each publication holds, as it arrives.
  local shows = { line = false, walk = false, at = 0 }
  local publish = vim.lsp.handlers['textDocument/publishDiagnostics']
  vim.lsp.handlers['textDocument/publishDiagnostics'] = function(err, result, ctx, config)
    local line, walk = false, false
    for _, d in ipairs(result.diagnostics) do
      line = line or d.message:find(lineFinding, 1, true) ~= nil
      walk = walk or d.message:find(walkFinding, 1, true) ~= nil
    end
    shows = { line = line, walk = walk, at = clock() }
    return publish(err, result, ctx, config)
  end
  local id = vim.lsp.start_client({ name = 'qsd', cmd = { qsd, 'lsp' }, root_dir = vim.fn.fnamemodify(story, ':h') })
  vim.lsp.buf_attach_client(buffer, id)
  local client = vim.lsp.get_client_by_id(id)
  local sent = 0
  local notify = client.notify
  client.notify = function(method, params)
    if method == 'textDocument/didChange' then sent = clock() end
    return notify(method, params)
  end
  local function wait(what, condition)
    if not vim.wait(60000, condition, 1) then error('timed out waiting for ' .. what) end
  end
  wait('the first diagnostics', function() return shows.at ~= 0 end)

  local first, last, serverFirst, serverLast = {}, {}, {}, {}
  for _ = 1, count do
    local typed = clock()
    vim.api.nvim_buf_set_text(buffer, label, 0, label, 0, { 'x' })
    wait('the line finding', function() return shows.line end)
    first[#first + 1] = (shows.at - typed) / 1e6
    serverFirst[#serverFirst + 1] = (shows.at - sent) / 1e6
    wait("the walk's finding", function() return shows.walk end)
    last[#last + 1] = (shows.at - typed) / 1e6
    serverLast[#serverLast + 1] = (shows.at - sent) / 1e6
    vim.api.nvim_buf_set_text(buffer, label, 0, label, 1, { '' })
    wait('the findings gone', function() return not shows.line and not shows.walk end)
  end
  local function say(title, values, server)
    io.stdout:write(string.format('  %s: median %.0f ms, worst %.0f ms (the server: median %.0f ms, worst %.0f ms)\n',
      title, median(values), math.max(unpack(values)), median(server), math.max(unpack(server))))
  end
  io.stdout:write(string.format('%d keystrokes at %d lines in Neovim %s:\n', count, size, vim.version().major .. '.' .. vim.version().minor))
  say('line finding published', first, serverFirst)
  say("walk's finding published", last, serverLast)
  os.remove(story)
end

local ok, problem = pcall(run)
if not ok then io.stderr:write('failed: ' .. tostring(problem) .. '\n') end
vim.cmd(ok and 'qa!' or 'cq!')
