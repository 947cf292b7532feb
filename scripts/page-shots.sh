#!/usr/bin/env bash
# Runs the page grabs of tests/qml/shots under Xvfb on the xcb platform (the
# ctest runs use offscreen) and lists each PNG saved with its size.
#   scripts/page-shots.sh [build folder]   default: build/default
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build/default}"
runner="$build/bin/veloran_qmltestrunner"
[ -x "$runner" ] || { echo "no test runner in $build: build it first" >&2; exit 2; }
command -v xvfb-run >/dev/null || { echo "xvfb-run missing: scripts/install-deps.sh" >&2; exit 2; }

shots="$build/shots"
status=0
for file in "$root"/tests/qml/shots/tst_*.qml; do
    xvfb-run -a -s "-screen 0 1920x1080x24" env QT_QPA_PLATFORM=xcb "$runner" -input "$file" || status=1
done

# Width and height are the big-endian words at bytes 16 and 20 of a PNG.
for png in "$shots"/*.png; do
    [ -e "$png" ] || continue
    read -r w1 w2 w3 w4 h1 h2 h3 h4 < <(od -An -tu1 -j16 -N8 "$png")
    echo "$(basename "$png"): $(( (w1 << 24) | (w2 << 16) | (w3 << 8) | w4 ))x$(( (h1 << 24) | (h2 << 16) | (h3 << 8) | h4 ))"
done
exit $status
