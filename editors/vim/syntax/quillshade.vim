" Vim syntax for Quillshade stories (Vim, and Neovim 0.7, which has no semantic tokens).
" The same token rules as editors/vscode/syntaxes/quillshade-story.tmLanguage.json: a
" "[" that opens the line (after spaces) hides a prefix up to the first "]"; the rest is
" split at its first "??" (choices), then at the first "::" before it (commands), then
" at the first ">>" before that (a jump, on a flag when a capital A to E follows); the
" command keywords are found in any case inside any word; the full-width markers are
" plain text to the reader and shown as mistakes.
if exists('b:current_syntax')
  finish
endif

syntax match quillshadePrefix /^ *\zs\[[^\]]*\]/

" Choices: after the first "??"; labels split at single commas.
syntax match quillshadeChoicePart /\%(^\%(\%(??\)\@!.\)*\)\@<=??.*$/ contains=quillshadeChoiceMarker
syntax match quillshadeChoiceMarker /??/ contained nextgroup=quillshadeChoices
syntax match quillshadeChoices /.*$/ contained contains=quillshadeComma,quillshadeFullWidthComma,quillshadeFullWidth

" Commands: after the first "::" that stands before any "??".
syntax match quillshadeCommandPart /\%(^\%(\%(::\|??\)\@!.\)*\)\@<=::\%(\%(??\)\@!.\)*/ contains=quillshadeCommandMarker,quillshadeFlagOff,quillshadeFlagOn,quillshadeEnd,quillshadeFullWidth
syntax match quillshadeCommandMarker /::/ contained
syntax match quillshadeFlagOff /\c[A-E]OFF/ contained
syntax match quillshadeFlagOn /\c[A-E]ON/ contained
syntax match quillshadeEnd /\cEND/ contained

" A jump: the first ">>" before any "::" or "??"; a capital A to E right after it asks a
" flag, and a list of labels follows; otherwise the rest is one target, commas and all.
syntax match quillshadeJumpPart /\%(^\%(\%(>>\|::\|??\)\@!.\)*\)\@<=>>\%(\%(::\|??\)\@!.\)*/ contains=quillshadeJumpMarker
syntax match quillshadeJumpMarker />>/ contained nextgroup=quillshadeTarget,quillshadeFlag
syntax match quillshadeTarget /.*/ contained contains=quillshadeFullWidth
syntax match quillshadeFlag /[A-E]/ contained nextgroup=quillshadeLabelList
syntax match quillshadeLabelList /.*/ contained contains=quillshadeComma,quillshadeFullWidthComma,quillshadeFullWidth

syntax match quillshadeComma /,/ contained
syntax match quillshadeFullWidthComma /[，、]/ contained
syntax match quillshadeFullWidth /？？\|：：\|＞＞\|［\|］/

highlight default link quillshadePrefix Label
highlight default link quillshadeChoiceMarker Operator
highlight default link quillshadeChoices Constant
highlight default link quillshadeCommandMarker Operator
highlight default link quillshadeFlagOff Keyword
highlight default link quillshadeFlagOn Keyword
highlight default link quillshadeEnd Statement
highlight default link quillshadeJumpMarker Operator
highlight default link quillshadeFlag Identifier
highlight default link quillshadeTarget Label
highlight default link quillshadeLabelList Label
highlight default link quillshadeComma Delimiter
highlight default link quillshadeFullWidthComma Error
highlight default link quillshadeFullWidth Error

let b:current_syntax = 'quillshade'
