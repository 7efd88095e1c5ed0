#!/bin/sh
# Writes the man page quillshade-story(5) from the README's story guide ("## Writing a
# story"), so that the guide and the page have one source. The guide's Markdown is
# kept to what this turns into roff: paragraphs, "### " headings, fenced blocks,
# "- " lists, `code`, **bold** and *italic*.
# Usage: story-page.sh README.md OUT.5 [VERSION]
set -eu
readme=$1 out=$2 version=${3:-}
awk -v version="$version" '
  # roff gives a meaning to backslashes, and to a dot or quote opening a line.
  function escape(text) { gsub(/\\/, "\\e", text); return text }
  function opening(text) { return text ~ /^[.'\'']/ ? "\\&" text : text }
  # **bold** or *italic* in text without code spans.
  function emphasis(text, mark, font,    out, at, rest, stop) {
    out = ""
    while ((at = index(text, mark)) > 0) {
      rest = substr(text, at + length(mark))
      stop = index(rest, mark)
      if (stop == 0) break
      out = out substr(text, 1, at - 1) "\\f" font substr(rest, 1, stop - 1) "\\fR"
      text = substr(rest, stop + length(mark))
    }
    return out text
  }
  function inline(text,    out, at, rest, stop, code) {
    text = escape(text)
    out = ""
    while ((at = index(text, "`")) > 0) {
      rest = substr(text, at + 1)
      stop = index(rest, "`")
      if (stop == 0) break
      code = substr(rest, 1, stop - 1)
      gsub(/-/, "\\-", code)
      out = out emphasis(emphasis(substr(text, 1, at - 1), "**", "B"), "*", "I") "\\fB" code "\\fR"
      text = substr(rest, stop + 1)
    }
    return opening(out emphasis(emphasis(text, "**", "B"), "*", "I"))
  }
  BEGIN {
    print ".TH QUILLSHADE-STORY 5 \"\" \"Quillshade " version "\" \"File Formats\""
    print ".nh"  # check names such as [missing-label] stay whole
    print ".SH NAME"
    print "quillshade-story \\- the story format of the Quillshade reader and of qsd"
    print ".SH DESCRIPTION"
  }
  /^## / { inside = ($0 == "## Writing a story"); next }
  !inside { next }
  fenced && /^```/ { fenced = 0; print ".fi"; print ".RE"; next }
  fenced { print opening(escape($0)); next }
  /^```/ { fenced = 1; print ".PP"; print ".RS 4"; print ".nf"; next }
  /^### / { print ".SS " inline(substr($0, 5)); next }
  /^$/ { paragraph = 1; next }
  /^- / { print ".IP \\(bu 2"; print inline(substr($0, 3)); paragraph = 0; next }
  {
    if (paragraph) print ".PP"
    paragraph = 0
    sub(/^ +/, "")
    print inline($0)
  }
  END {
    print ".SH SEE ALSO"
    print ".BR quillshade (1),"
    print ".BR qsd (1)"
  }
' "$readme" > "$out"
grep -q '^\.PP' "$out" || { echo "story-page.sh: no story guide in $readme" >&2; exit 1; }
