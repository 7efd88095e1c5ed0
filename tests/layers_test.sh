#!/bin/sh
# The include rules of docs/ARCHITECTURE.md, read from the sources: the engine includes
# only the standard library (but for its vector scans), the toolkit library no window,
# command or language server, and the toolkit reaches the encoder through one header.
# Usage: layers_test.sh SOURCE_DIR
set -eu
cd "$1"
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
found() { grep -rn --include='*.h' --include='*.cpp' "$@" || true; }
# The lines of stdin that do not match, and no failure when there are none.
except() { grep -v "$@" || true; }

bad=$(found -E '#include (<[^>]*\.h>|"[^"]*")' story | except '#include "story/' | except '^story/vector_scan.cpp:')
[ -z "$bad" ] || fail "story/ includes more than the standard library:
$bad"
bad=$(found -E '#include "(ui|tools/qsd/(lsp|commands))/' tools/qsd/lib)
[ -z "$bad" ] || fail "tools/qsd/lib/ includes a window, a command or the language server:
$bad"
bad=$(found '#include "story/encode.h"' tools | except '^tools/qsd/lib/source_encoder.h:')
[ -z "$bad" ] || fail "the toolkit includes the encoder other than through source_encoder.h:
$bad"
[ "$failures" -eq 0 ] || exit 1
echo "every layer includes what it may"
