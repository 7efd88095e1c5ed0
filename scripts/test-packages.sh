#!/bin/sh
# Test stage of the packages, each made by its workflow preset from the builds the Qt
# and Windows stages use (one build of the web reader page, in build/web, serves both):
# the .deb is checked by lintian, installed with dpkg, used (qsd --version, the man
# pages, the story file type, qsd publish, the completion, the editors' story colours)
# and purged; the Windows installer is run silently under Wine, its files and registry
# keys checked, a story opened through the file type, qsd.exe publish run, and
# uninstalled without a trace; the .zip is listed and its qsd.exe publishes too. The
# VS Code extension for Linux holds what its page shows, and its qsd runs without the
# system's libraries.
set -eu
cd "$(dirname "$0")/.."
. scripts/windows-env.sh
QUILLSHADE_EXTRA_PACKAGES="qt6-base-dev libxcb1-dev help2man dpkg-dev lintian desktop-file-utils shared-mime-info \
xdg-utils libfile-mimeinfo-perl man-db bash-completion nsis unzip emscripten node-acorn vim neovim emacs-nox" ./scripts/install-deps.sh
quillshade_windows_deps
. tests/lib/poll.sh

fail() {
  printf "FAIL: %s\n" "$*" >&2
  exit 1
}

# dpkg ARGUMENT...: dpkg as root, waiting while another installation holds its lock
# (apt on the same machine), since dpkg itself refuses at once then.
dpkg_when_free() {
  tries=0
  until dpkg_out=$(as_root dpkg "$@" 2>&1); do
    case $dpkg_out in
      *"dpkg frontend lock"* | *"dpkg status database is locked"*) ;;
      *) echo "$dpkg_out" >&2; return 1 ;;
    esac
    tries=$((tries + 1))
    [ $tries -le 600 ] || { echo "$dpkg_out" >&2; return 1; }
    sleep 0.5
  done
}

# What the stage writes, kept until its next run to look into.
work=$PWD/build/package-test
rm -rf "$work"
mkdir -p "$work"
# story_codes PAGE: the character codes of the story that qsd publish put into PAGE.
story_codes() {
  sed -n 's|.*<script type="text/plain" id="quillshade-story">\([-0-9 ]*\)</script>.*|\1|p' "$1"
}
# check_published PAGE WHO: PAGE holds the sample story lantern, as its story file's codes.
check_published() {
  [ -s "$1" ] || fail "$2 wrote no page"
  [ "$(story_codes "$1")" = "$(cat examples/lantern.qsd)" ] ||
    fail "the page $2 wrote does not hold the codes of examples/lantern.qsd"
}

echo "== the Debian package"
cmake --workflow --preset deb > build/deb-workflow.log 2>&1 || { cat build/deb-workflow.log; exit 1; }
deb=$(ls build/qt/packages/quillshade_*.deb)
report=$(lintian --fail-on error,warning "$deb" 2>&1) || { echo "$report" >&2; fail "lintian reports problems in $deb"; }
echo "lintian: no errors, no warnings"
echo "$report" | grep -v "running with root privileges" || true

# One run at a time on this machine: the package goes into the system's own database.
exec 9> "${TMPDIR:-/tmp}/quillshade-package-test.lock"
flock 9
dpkg_when_free -i "$deb"
trap 'dpkg_when_free --purge quillshade || true' EXIT
files=$(dpkg -L quillshade)
for file in /usr/share/quillshade/quillshade.html /usr/share/man/man5/quillshade-story.5.gz \
  /usr/share/quillshade/editors/vim/syntax/quillshade.vim /usr/share/quillshade/editors/vim/ftdetect/quillshade.vim \
  /usr/share/emacs/site-lisp/quillshade/quillshade-story.el; do
  echo "$files" | grep -qx "$file" || fail "the .deb does not install $file"
done
desktop-file-validate /usr/share/applications/quillshade.desktop
[ "$(qsd --version)" = "$(build/qt/tools/qsd/qsd --version)" ] || fail "the installed qsd --version differs"
qsd --version
MANPAGER=cat man qsd 2>/dev/null | grep -q 'qsd graph' || fail "man qsd does not show the commands"
MANPAGER=cat man quillshade 2>/dev/null | grep -q 'STORY.qsd' || fail "man quillshade does not show"
MANPAGER=cat man 5 quillshade-story 2>/dev/null | grep -q 'worked example' || fail "man 5 quillshade-story does not show"
type=$(xdg-mime query filetype examples/lantern.qsd)
[ "$type" = application/x-quillshade-story ] || fail "xdg-mime calls examples/lantern.qsd $type"
echo "xdg-mime: examples/lantern.qsd is $type"
# qsd publish finds the web reader page where the package put it.
qsd publish examples/lantern.txt -o "$work/deb.html" || fail "the installed qsd publish finds no reader page"
check_published "$work/deb.html" "the installed qsd publish"
echo "qsd publish: uses /usr/share/quillshade/quillshade.html"
# Vim (with a vimrc that turns on syntax and file types), Neovim and Emacs colour a story
# from the installed files by themselves; Vim and Neovim leave a story file's codes plain.
printf 'Start >> [a]\n[a] The end. :: END\n' > "$work/night.story.txt"
cp examples/lantern.qsd "$work/"
printf 'syntax on\nfiletype on\n' > "$work/vimrc"
echo 'call writefile([&filetype . " " . get(b:, "current_syntax", "")], "'"$work"'/kind", "a")' > "$work/kind.vim"
set -- -c 'edit night.story.txt' -c 'source kind.vim' -c 'edit lantern.qsd' -c 'source kind.vim' -c 'qa!'
(cd "$work" && timeout 60 vim -u vimrc -N -i NONE -T dumb --not-a-term "$@" < /dev/null > /dev/null 2>&1 &&
  timeout 60 nvim --headless --clean "$@" < /dev/null) || fail "Vim or Neovim did not run"
[ "$(cat "$work/kind")" = "$(printf 'quillshade quillshade\n \nquillshade quillshade\n ')" ] ||
  fail "Vim and Neovim read an installed story and a story file as: $(cat "$work/kind" | tr '\n' '|')"
mode=$(cd "$work" && timeout 60 emacs --batch --eval \
  "(progn (require 'quillshade-story) (find-file \"night.story.txt\") (princ major-mode))" 2> "$work/emacs-log") ||
  fail "Emacs did not load the installed mode: $(cat "$work/emacs-log")"
[ "$mode" = quillshade-story-mode ] || fail "Emacs opens a story in $mode"
echo "Vim, Neovim and Emacs: a story source is coloured by the installed files"
# The completion offers the commands, a command's options and an option's values.
completions=$(bash -c '. /usr/share/bash-completion/bash_completion
  complete_line() { COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _qsd qsd; echo "${COMPREPLY[*]}"; }
  . /usr/share/bash-completion/completions/qsd
  complete_line qsd gr; complete_line qsd graph --fo; complete_line qsd graph --format ""')
[ "$completions" = "$(printf 'graph\n--format\ndot svg')" ] || fail "qsd's completion answers: $completions"

dpkg_when_free --purge quillshade
trap - EXIT
for file in $files; do
  [ "$file" = /. ] || [ -d "$file" ] || [ ! -e "$file" ] || fail "$file is left after the purge"
done
[ ! -e /usr/share/doc/quillshade ] || fail "/usr/share/doc/quillshade is left after the purge"
flock -u 9
echo "the .deb installs, works and purges cleanly"

echo "== the VS Code extension for Linux"
# Its qsd runs on any x86-64 Linux: linked whole, it needs not even the C library, so it
# answers from a root that holds only itself and a story, its server's threads included.
./scripts/package-vsix.sh linux-x64 > build/vsix-linux.log 2>&1 || { cat build/vsix-linux.log; exit 1; }
vsix=$(ls build/vsix/quillshade-story-*-linux-x64.vsix)
listing=$(unzip -Z1 "$vsix")
pictures=$(sed -n 's/.*](\(images\/[^)]*\)).*/extension\/\1/p' editors/vscode/README.md)
for name in extension/bin/qsd extension/dist/extension.js extension/images/icon.png extension/LICENSE.txt \
  extension/changelog.md $pictures; do
  echo "$listing" | grep -qx "$name" || fail "$vsix lacks $name"
done
echo "$listing" | grep -q node_modules && fail "$vsix holds node_modules: the client is not bundled"
root=$work/vsix-root
mkdir -p "$root"
unzip -p "$vsix" extension/bin/qsd > "$root/qsd"
chmod +x "$root/qsd"
objdump -p "$root/qsd" | grep -q '^Dynamic Section' &&
  fail "the .vsix's qsd needs libraries:$(objdump -p "$root/qsd" | sed -n 's/^ *NEEDED *\(.*\)/ \1/p' | tr -d '\n')"
cp tests/tools/lsp/editor/fox.txt "$root/fox.txt"
status=0
as_root chroot "$root" /qsd check /fox.txt > "$work/vsix-check" 2>&1 || status=$?
[ $status -eq 1 ] && grep -q "no line begins with '\[gone\]'" "$work/vsix-check" ||
  fail "the .vsix's qsd check in a root of its own: $(cat "$work/vsix-check")"
lsp_message() { printf 'Content-Length: %s\r\n\r\n%s' "${#1}" "$1"; }
rm -f "$root/in"
mkfifo "$root/in"
as_root chroot "$root" /qsd lsp < "$root/in" > "$work/vsix-lsp" 2>&1 &
server=$!
exec 8> "$root/in"
lsp_message '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{}}}' >&8
lsp_message '{"jsonrpc":"2.0","method":"initialized","params":{}}' >&8
lsp_message '{"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":"file:///fox.story.txt",
"languageId":"quillshade-story","version":1,"text":"Start >> [gone]\n"}}}' >&8
wait_for 30 grep -q "no line begins with" "$work/vsix-lsp" ||
  fail "the .vsix's qsd lsp in a root of its own published no findings: $(cat "$work/vsix-lsp")"
lsp_message '{"jsonrpc":"2.0","id":2,"method":"shutdown","params":null}' >&8
lsp_message '{"jsonrpc":"2.0","method":"exit","params":null}' >&8
exec 8>&-
wait $server || fail "the .vsix's qsd lsp did not end cleanly: $(cat "$work/vsix-lsp")"
echo "$vsix: $(wc -c < "$vsix") bytes; its qsd is static and checks and serves from a root of its own"

echo "== the Windows installer and zip"
cmake --workflow --preset windows-installer > build/windows-installer-workflow.log 2>&1 ||
  { cat build/windows-installer-workflow.log; exit 1; }
installer=$(ls build/windows/packages/quillshade-*-win64.exe)
zip=$(ls build/windows/packages/quillshade-*-win64.zip)
listing=$(unzip -Z1 "$zip")
for name in quillshade.exe qsd.exe quillshade.html README.txt story-format.txt stories/lantern.qsd stories/kitsune.qsd stories/dawn.qsd; do
  echo "$listing" | grep -q "/$name\$" || fail "$zip lacks $name"
done
unzip -p "$zip" '*/README.txt' | grep -q quillshade.html || fail "the zip's README does not name quillshade.html"
echo "$zip: both programs, the reader page, the sample stories and the README"

quillshade_wine_session
installer_windows=$(winepath -w "$installer")
story=$(winepath -w examples/lantern.qsd)

# The unpacked zip's qsd.exe finds the reader page beside it.
unzip -q "$zip" -d "$work/zip"
wine "$(ls "$work"/zip/*/qsd.exe)" publish examples/lantern.txt -o "$(winepath -w "$work/zip.html")" ||
  fail "qsd.exe publish from the unpacked zip finds no reader page"
check_published "$work/zip.html" "qsd.exe publish from the unpacked zip"
echo "qsd.exe publish under Wine, from the unpacked zip: uses the quillshade.html beside it"
program_files=$(wine cmd /c 'echo %ProgramW6432%' | tr -d '\r')
start_menu=$(wine cmd /c 'echo %ProgramData%' | tr -d '\r')'\Microsoft\Windows\Start Menu\Programs\Quillshade.lnk'
folder="$program_files\\Quillshade"
unix_folder=$(winepath -u "$folder")

# exists WINDOWS_PATH: the file or folder is there.
exists() { [ -e "$(winepath -u "$1")" ]; }
# reg_value KEY [VALUE]: the registry value's data (the key's default without VALUE).
# Wine's reg answers in the ANSI code page, so its lines are matched as bytes.
reg_value() {
  if [ $# -eq 2 ]; then wine reg query "$1" /v "$2"; else wine reg query "$1" /ve; fi 2>/dev/null |
    tr -d '\r' | LC_ALL=C sed -n 's/^ *[^ ].*REG_[A-Z_]* *//p' | head -n 1
}
user_path() { reg_value 'HKCU\Environment' Path; }

wine "$installer_windows" /S /AllUsers /PATH
for name in quillshade.exe qsd.exe quillshade.html README.txt 'stories\lantern.qsd' Uninstall.exe; do
  exists "$folder\\$name" || fail "the installer did not put $name in $folder"
done
exists "$start_menu" || fail "no Start-menu entry $start_menu"
[ "$(reg_value 'HKLM\Software\Classes\.qsd')" = Quillshade.Story ] || fail ".qsd is not registered"
command=$(reg_value 'HKLM\Software\Classes\Quillshade.Story\shell\open\command')
[ "$command" = "\"$folder\\quillshade.exe\" \"%1\"" ] || fail ".qsd opens with: $command"
icon=$(reg_value 'HKLM\Software\Classes\Quillshade.Story\DefaultIcon')
[ "$icon" = "$folder\\quillshade.exe,0" ] || fail ".qsd's icon is: $icon"
user_path | grep -qF "$folder" || fail "qsd.exe was asked for on the PATH, and the PATH is: $(user_path)"
echo "installed in $folder: files, Start menu, file type, PATH"
wine "$folder\\qsd.exe" publish examples/lantern.txt -o "$(winepath -w "$work/installed.html")" ||
  fail "the installed qsd.exe publish finds no reader page"
check_published "$work/installed.html" "the installed qsd.exe publish"
echo "qsd.exe publish under Wine, installed: uses $folder\\quillshade.html"

# Opening a story through its file type starts the reader on it.
first_line=$(build/dev/tools/qsd/qsd play --keys '' examples/lantern.qsd 2>/dev/null ||
  build/qt/tools/qsd/qsd play --keys '' examples/lantern.qsd)
# What is tested is the window, not start's own status, which once failed a loaded run.
wine start "$story" > /dev/null 2>&1 || true
wait_for 60 has_window "^$first_line\$" ||
  fail "no window titled \"$first_line\" after opening $story; windows: $(xdotool search --name . getwindowname %@ 2>/dev/null | sort -u | tr '\n' '|')"
echo "opened through the file type: the title bar reads \"$first_line\""
wine taskkill /im quillshade.exe /f > /dev/null 2>&1 || true
# The uninstaller cannot remove a running program's file.
closed() { ! has_window "^$first_line\$"; }
wait_for 15 closed || fail "the reader did not end"

wine "$folder\\Uninstall.exe" /AllUsers /S
gone() { [ ! -e "$unix_folder" ]; }
wait_for 30 gone || fail "$folder is left after the uninstall: $(ls "$unix_folder")"
exists "$start_menu" && fail "the Start-menu entry is left after the uninstall"
[ -z "$(reg_value 'HKLM\Software\Classes\.qsd')" ] || fail ".qsd is still registered after the uninstall"
wine reg query 'HKLM\Software\Classes\Quillshade.Story' > /dev/null 2>&1 && fail "Quillshade.Story is left"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillshade' > /dev/null 2>&1 &&
  fail "the uninstall entry is left"
user_path | grep -qF "$folder" && fail "the PATH still holds $folder"

# A per-user install without the PATH option leaves the PATH alone.
wine "$installer_windows" /S /CurrentUser
user_folder=$(reg_value 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quillshade' InstallLocation)
[ -n "$user_folder" ] && exists "$user_folder\\quillshade.exe" || fail "no per-user install"
[ "$(reg_value 'HKCU\Software\Classes\.qsd')" = Quillshade.Story ] || fail ".qsd is not registered for the user"
user_path | grep -qF "$user_folder" && fail "qsd.exe went on the PATH unasked"
wine "$user_folder\\Uninstall.exe" /CurrentUser /S
user_gone() { ! exists "$user_folder"; }
wait_for 30 user_gone || fail "$user_folder is left after the uninstall"
[ -z "$(reg_value 'HKCU\Software\Classes\.qsd')" ] || fail ".qsd is still registered for the user"
echo "installed for all users and for one user, and uninstalled without a trace"
echo "packages stage passed"
