#!/usr/bin/env bash
# Installs, builds and starts Veloran Deck with the emulated T40 microphone
# base. Without a display it runs under Xvfb and saves a screenshot.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target veloran_deck -j "$(nproc)"

export VELORAN_EMULATE="${VELORAN_EMULATE:-t40}"
program=build/default/bin/VeloranDeck

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    exec "$program"
fi

shot=build/screenshot.png
xvfb-run -a -s "-screen 0 1400x900x24" bash -c '
    "$1" & pid=$!
    sleep 8
    import -window root "$2" && echo "Screenshot saved to $2"
    kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true
' _ "$program" "$shot"
