# Story files for the end-to-end tests (sourced, not run), without needing qsd: the
# Windows tests build only the Windows side.

# write_story LINE...: the lines as a story file on stdout, each character as its code
# page 932 code (a double-byte character as one code) and each line ended by 13 10.
write_story() {
  printf '%s\r\n' "$@" | iconv -f UTF-8 -t CP932 | od -An -tu1 -v | tr -s ' ' '\n' | awk '
    NF { b = $1 + 0
         if (lead) { printf "%d ", lead * 256 + b; lead = 0 }
         else if ((b >= 129 && b <= 159) || (b >= 224 && b <= 252)) lead = b
         else printf "%d ", b }'
}
