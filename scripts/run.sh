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
# The screenshot shows the interface in its own language, whatever the
# machine's locale.
LANG=zh_CN.UTF-8 xvfb-run -a -s "-screen 0 1400x900x24" bash -c '
    "$1" & pid=$!
    # The program window, found by its title once it is mapped; then time
    # for the emulated device to report itself.
    rm -f "$2"
    for _ in $(seq 1 30); do
        xwininfo -name "Veloran Deck" >/dev/null 2>&1 && break
        sleep 1
    done
    sleep 6
    if import -window "Veloran Deck" "$2"; then
        echo "Screenshot saved to $2"
    else
        echo "No window titled Veloran Deck" >&2
    fi
    kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true
' _ "$program" "$shot"
