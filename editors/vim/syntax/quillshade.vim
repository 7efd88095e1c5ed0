" Vim syntax for Quillshade stories (Vim, and Neovim 0.7, which has no semantic tokens).
" The same token rules as editors/vscode/syntaxes/quillshade-story.tmLanguage.json: a
" "[" that opens the line (after spaces) hides a prefix up to the first "]"; the rest is
" split at its first "??" (choices), then at the first "::" before it (commands), then
" at the first ">>" before that (a jump, on a flag when ">>" and a capital A to E stand
" anywhere in it); tests/editors/compare_grammars.sh holds all three to the engine; the
" command keywords are found in any case inside any word; the full-width markers are
" plain text to the reader and shown as mistakes.
if exists('b:current_syntax')
  finish
endif

syntax match quillshadePrefix /^ *\zs\[[^\]]*\]/

" Each marker counts only after a prefix: the line's start, its spaces and any prefix,
" which a "??", "::" or ">>" inside it is part of.
" Choices: after the first "??"; labels split at single commas.
syntax match quillshadeChoicePart /\%(^ *\%(\[[^\]]*\]\| \@!\%(\[[^\]]*\]\)\@!\)\%(\%(??\)\@!.\)*\)\@<=??.*$/ contains=quillshadeChoiceMarker
syntax match quillshadeChoiceMarker /??/ contained nextgroup=quillshadeChoices
syntax match quillshadeChoices /.*$/ contained contains=quillshadeComma,quillshadeFullWidthComma,quillshadeFullWidth

" Commands: after the first "::" that stands before any "??".
syntax match quillshadeCommandPart /\%(^ *\%(\[[^\]]*\]\| \@!\%(\[[^\]]*\]\)\@!\)\%(\%(::\|??\)\@!.\)*\)\@<=::\%(\%(??\)\@!.\)*/ contains=quillshadeCommandMarker,quillshadeFlagOff,quillshadeFlagOn,quillshadeEnd,quillshadeFullWidth
syntax match quillshadeCommandMarker /::/ contained
syntax match quillshadeFlagOff /\c[A-E]OFF/ contained
syntax match quillshadeFlagOn /\c[A-E]ON/ contained
syntax match quillshadeEnd /\cEND/ contained

" A jump: the first ">>" before any "::" or "??". It is a jump on a flag when ">>" and a
" capital A to E stand anywhere before the "::" or "??", the flags tried in the order A
" to E; its labels begin one character after the first ">>", whatever that character is,
" which shows as the flag only when it is the flag tried first. Otherwise the rest is one
" target, commas and all. The item defined last wins where several could follow ">>";
" what follows ">>" stops where the jump does, as a contained match would run on.
syntax match quillshadeJumpPart /\%(^ *\%(\[[^\]]*\]\| \@!\%(\[[^\]]*\]\)\@!\)\%(\%(>>\|::\|??\)\@!.\)*\)\@<=>>\%(\%(::\|??\)\@!.\)*/ contains=quillshadeJumpMarker
syntax match quillshadeJumpMarker />>/ contained nextgroup=quillshadeTarget,quillshadeJumpSkip,quillshadeFlag
syntax match quillshadeTarget /\%(\%(::\|??\)\@!.\)*/ contained contains=quillshadeFullWidth
syntax match quillshadeJumpSkip /\%(>[A-E]\|\%(\%(::\|??\)\@!.\)*>>[A-E]\)\@=./ contained nextgroup=quillshadeLabelList
syntax match quillshadeFlag /A\|B\%(\%(\%(::\|??\)\@!.\)*>>A\)\@!\|C\%(\%(\%(::\|??\)\@!.\)*>>[AB]\)\@!\|D\%(\%(\%(::\|??\)\@!.\)*>>[A-C]\)\@!\|E\%(\%(\%(::\|??\)\@!.\)*>>[A-D]\)\@!/ contained nextgroup=quillshadeLabelList
syntax match quillshadeLabelList /\%(\%(::\|??\)\@!.\)*/ contained contains=quillshadeComma,quillshadeFullWidthComma,quillshadeFullWidth

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
highlight default link quillshadeJumpSkip Operator
highlight default link quillshadeFlag Identifier
highlight default link quillshadeTarget Label
highlight default link quillshadeLabelList Label
highlight default link quillshadeComma Delimiter
highlight default link quillshadeFullWidthComma Error
highlight default link quillshadeFullWidth Error

let b:current_syntax = 'quillshade'
