" Filetype detection for Quillshade stories: .qsd story files and *.story.txt sources
" (other .txt files stay plain text; `:set filetype=quillshade` reads one as a story).
" The .txt rule runs before this file, so a story source overrides it.
autocmd BufRead,BufNewFile *.qsd setfiletype quillshade
autocmd BufRead,BufNewFile *.story.txt set filetype=quillshade
