" :QuillshadePlayHere plays the story to the cursor's line, with qsd play --to, in a terminal.
if exists('g:loaded_quillshade_play')
  finish
endif
let g:loaded_quillshade_play = 1

" The story as the buffer holds it, unsaved edits included: the file itself when it is
" saved, else a copy of the text, which goes once the play ends.
function! s:PlayHere() abort
  let l:file = expand('%:p')
  let l:copy = ''
  if empty(l:file) || &modified
    let l:copy = tempname() . '.txt'
    call writefile(getline(1, '$'), l:copy)
    let l:file = l:copy
  endif
  let l:command = [get(g:, 'quillshade_qsd', 'qsd'), 'play', '--to', string(line('.')), l:file]
  let l:Done = {-> empty(l:copy) ? 0 : delete(l:copy)}
  if has('nvim')
    belowright new
    call termopen(l:command, {'on_exit': {... -> l:Done()}})
    startinsert
  else
    call term_start(l:command, {'exit_cb': {... -> l:Done()}})
  endif
endfunction

command! -bar QuillshadePlayHere call s:PlayHere()
