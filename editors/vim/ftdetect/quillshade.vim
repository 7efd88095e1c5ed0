" Filetype detection for Quillshade story sources, *.story.txt (other .txt files stay
" plain text; `:set filetype=quillshade` reads one as a story). A .qsd story file is a
" line of character codes that the story's colours would leave plain, so it keeps none.
" The .txt rule runs before this file, so a story source overrides it.
autocmd BufRead,BufNewFile *.story.txt set filetype=quillshade
