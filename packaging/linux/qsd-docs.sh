#!/bin/sh
# Writes qsd's man page (qsd.1.gz) and its bash completion (qsd) from the help texts
# that qsd itself prints, so each has one source: `qsd --help` names the commands,
# `qsd help COMMAND` gives a command's options and the values an option takes, and
# `qsd check --list` the checks.
# Usage: qsd-docs.sh QSD OUT_DIR
set -eu
qsd=$1 out=$2
mkdir -p "$out"
commands=$("$qsd" --help | sed -n 's/^  \([a-z][a-z0-9-]*\)  .*/\1/p')
[ -n "$commands" ] || { echo "qsd-docs.sh: no commands in \`$qsd --help\`" >&2; exit 1; }

# The man page: help2man's page from --help and --version, then each command's help.
{
  echo "[COMMANDS]"
  for command in $commands; do
    echo ".SS \"qsd $command\""
    echo ".nf"
    # Backslashes, and a dot or quote opening a line, mean something to roff.
    "$qsd" help "$command" | sed -e 's/\\/\\e/g' -e "s/^\([.']\)/\\\\\&\1/"
    echo ".fi"
  done
  echo "[CHECKS]"
  printf '%s\n' 'What \fBqsd check\fR finds, by the name it gives each finding (\fBqsd check \-\-list\fR):'
  "$qsd" check --list | sed -e 's/\\/\\e/g' |
    awk '{ name = $1; severity = $2; $1 = ""; $2 = ""; sub(/^  /, "")
           printf ".TP\n.B %s\n(%s) %s\n", name, severity, $0 }'
  echo "[SEE ALSO]"
  echo ".BR quillshade-story (5),"
  echo "the story format that qsd reads and writes, with the traps above explained;"
  echo ".BR quillshade (1),"
  echo "the reader."
} > "$out/qsd-commands.h2m"
help2man --no-info --section=1 --name="the Quillshade story toolkit" \
  --include="$out/qsd-commands.h2m" --output="$out/qsd.1" "$qsd"
gzip -9nf "$out/qsd.1"

# The completion: each command's options, the values of those shown as a|b, nothing
# after an option that takes some other value (--keys KEYS), and story files (.txt and
# .qsd) for the commands whose usage names a FILE, STORY or IN.
{
  echo "# bash completion for qsd, written from its help texts by packaging/linux/qsd-docs.sh"
  echo "_qsd() {"
  echo "  local cur prev words cword"
  echo "  _init_completion || return"
  echo "  if [ \"\$cword\" -eq 1 ]; then"
  echo "    COMPREPLY=(\$(compgen -W \"$(echo $commands) help --help --version\" -- \"\$cur\"))"
  echo "    return"
  echo "  fi"
  echo "  local options=\"\" stories=0"
  echo "  case \${words[1]} in"
  echo "    help) COMPREPLY=(\$(compgen -W \"$(echo $commands)\" -- \"\$cur\")); return ;;"
  for command in $commands; do
    "$qsd" help "$command" | awk -v command="$command" '
      # Options appear in the usage lines and at the start of the option lines.
      # The usage lines run from "usage:" to the first empty line.
      /^usage:/ { usage = 1 }
      /^$/ { usage = 0 }
      usage && / (IN|FILE|STORY)/ { stories = 1 }
      /^(usage:|      |  -)/ {
        line = $0
        while (match(line, /(^|[ [])--?[a-zA-Z][a-zA-Z0-9-]*( ([a-z0-9-]+(\|[a-z0-9-]+)+|[A-Z][A-Z0-9.]*))?/)) {
          word = substr(line, RSTART, RLENGTH); line = substr(line, RSTART + RLENGTH)
          sub(/^[ []/, "", word)
          split(word, part, " ")
          if (!(part[1] in seen)) { seen[part[1]] = 1; options = options (options == "" ? "" : " ") part[1] }
          if (part[2] ~ /\|/) { values[part[1]] = part[2]; gsub(/\|/, " ", values[part[1]]) }
          else if (part[2] != "" && part[1] != "-o" && part[1] != "--output") takes[part[1]] = 1
        }
      }
      END {
        printf "    %s)\n", command
        for (option in values)
          printf "      [ \"$prev\" = %s ] && { COMPREPLY=($(compgen -W \"%s\" -- \"$cur\")); return; }\n", option, values[option]
        bare = ""
        for (option in takes)
          if (!(option in values)) bare = bare (bare == "" ? "" : "|") option
        if (bare != "") printf "      case $prev in %s) return ;; esac\n", bare
        printf "      options=\"%s --help\" stories=%d ;;\n", options, stories
      }'
  done
  echo "  esac"
  echo "  case \$prev in -o|--output) _filedir; return ;; esac"
  echo "  if [[ \$cur == -* ]]; then"
  echo "    COMPREPLY=(\$(compgen -W \"\$options\" -- \"\$cur\"))"
  echo "  elif [ \"\$stories\" = 1 ]; then"
  echo "    _filedir '@(txt|qsd)'"
  echo "  fi"
  echo "}"
  echo "complete -F _qsd qsd"
} > "$out/qsd"
