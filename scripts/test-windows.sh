#!/bin/sh
# Test stage for the Windows programs: cross-builds quillshade.exe and qsd.exe with
# MinGW-w64, checks what they import and which resources the reader holds, then runs
# their tests under Wine in a private X server: the Win32 layer's unit tests through
# CTest, qsd.exe against the Linux qsd, and the reader's end-to-end tests.
set -eu
cd "$(dirname "$0")/.."
. scripts/windows-env.sh

quillshade_windows_deps

cmake --preset windows
cmake --build --preset windows -j2
exe=build/windows/ui/win32/quillshade.exe

qsd_exe=build/windows/tools/qsd/qsd.exe

# Only DLLs that every Windows has: the C++ runtime and winpthread are linked in.
system_dlls="kernel32.dll user32.dll gdi32.dll comdlg32.dll imm32.dll msvcrt.dll advapi32.dll shell32.dll comctl32.dll ole32.dll ucrtbase.dll"
for program in "$exe" "$qsd_exe"; do
  echo "== imports of $program"
  imports=$(x86_64-w64-mingw32-objdump -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z' | sort)
  echo "$imports" | sed 's/^/  /'
  for dll in $imports; do
    case " $system_dlls " in
      *" $dll "*) ;;
      *api-ms-win-crt-*) ;;
      *) echo "FAIL: $program imports $dll, which is no Windows system DLL" >&2; exit 1 ;;
    esac
  done
done

echo "== resources of $exe"
# Resource types: 3 icon images, 4 menu, 14 icon group, 24 manifest.
rsrc=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n '/The .rsrc Resource Directory section/,/Resources start at offset/p')
count_type() { echo "$rsrc" | grep -c "^0[0-9a-f]*   Entry: ID: 0x0000$(printf %02x "$1"),"; }
images=$(echo "$rsrc" | awk '/^0[0-9a-f]*   Entry: ID: 0x000003,/{on=1; next} /^0[0-9a-f]*   Entry:/{on=0} on && /^0[0-9a-f]*     Entry:/{n++} END{print n+0}')
for t in 3 4 14 24; do
  [ "$(count_type $t)" -eq 1 ] || { echo "FAIL: no resource of type $t in $exe" >&2; exit 1; }
done
[ "$images" -eq 3 ] || { echo "FAIL: $exe holds $images icon images, not 3" >&2; exit 1; }
echo "  menu, icon group with $images images, manifest: present"

quillshade_wine_session
QUILLSHADE_WINE_SESSION=1
export QUILLSHADE_WINE_SESSION
echo "== unit tests under Wine"
ctest --preset windows
echo "== qsd.exe against the Linux qsd"
[ -x build/dev/tools/qsd/qsd ] || { cmake --preset dev > /dev/null && cmake --build --preset dev -j2 --target qsd; }
sh tests/tools/qsd_windows_test.sh "$qsd_exe" build/dev/tools/qsd/qsd examples
echo "== end-to-end tests"
sh tests/ui/win32/run_e2e.sh "$exe"
# A shorter soak than the 100,000 presses of tests/ui/win32/soak_test.sh's default, to keep
# CI short: leaks grow with every press, so 20,000 still show them.
echo "== soak test"
PRESSES=20000 EVERY=5000 sh tests/ui/win32/soak_test.sh "$exe"
echo "windows stage passed"
