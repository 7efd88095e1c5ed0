# Story files for the end-to-end tests (sourced, not run): the lines go through
# `qsd encode`, the toolkit's one encoder, as the qsd.exe of the same Windows build run
# under Wine, so the Windows tests need nothing that build does not make.

# write_story QSD_EXE LINE...: the lines as a story file on stdout, each line ended by a
# line break (13 10).
write_story() {
  qsd_exe=$1
  shift
  [ -f "$qsd_exe" ] || { echo "write_story: no $qsd_exe: build the windows preset first" >&2; return 1; }
  printf '%s\n' "$@" | wine "$qsd_exe" encode - ||
    { echo "write_story: $qsd_exe could not encode the story" >&2; return 1; }
}
