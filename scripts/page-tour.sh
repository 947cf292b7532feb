#!/usr/bin/env bash
# Tours the control page of the built program on each emulated model under
# Xvfb, with the real system bridge: scripts/tour/PageTour.qml is copied to
# build/tour/<model>/ and loaded as the root document (VELORAN_ROOT_URL); it
# saves every view there as PNG, then scripts/check-shots.sh checks them.
#   scripts/page-tour.sh [build folder] [model...]   default: build/default, r7 t40 u20
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/default"
if [ $# -gt 0 ] && [ -d "$1" ]; then
    build="$(cd "$1" && pwd)"
    shift
fi
models=("$@")
[ ${#models[@]} -gt 0 ] || models=(r7 t40 u20)
program="$build/bin/VeloranDeck"
[ -x "$program" ] || { echo "no program in $build: build it first" >&2; exit 2; }
command -v xvfb-run >/dev/null || { echo "xvfb-run missing: scripts/install-deps.sh" >&2; exit 2; }

status=0
for model in "${models[@]}"; do
    case "$model" in r7|t40|u20) ;; *) echo "unknown model: $model" >&2; exit 2 ;; esac
    dir="$build/tour/$model"
    rm -rf "$dir"
    mkdir -p "$dir/home/config" "$dir/home/data" "$dir/home/cache" "$dir/home/tmp"
    chmod 700 "$dir/home/tmp"
    cp "$root/scripts/tour/PageTour.qml" "$dir/"
    echo "== $model"
    # A new user's folders; the server address is a closed local port, so
    # nothing leaves the machine.
    if ! env XDG_CONFIG_HOME="$dir/home/config" XDG_DATA_HOME="$dir/home/data" \
            XDG_CACHE_HOME="$dir/home/cache" XDG_RUNTIME_DIR="$dir/home/tmp" TMPDIR="$dir/home/tmp" \
            VELORAN_EMULATE="$model" VELORAN_SERVER_URL="http://127.0.0.1:9" \
            VELORAN_ROOT_URL="file://$dir/PageTour.qml" QT_QPA_PLATFORM=xcb \
            timeout 180 xvfb-run -a -s "-screen 0 1920x1080x24" "$program" >"$dir/tour.log" 2>&1; then
        echo "$model: the tour failed, see $dir/tour.log" >&2
        grep "TOUR FAILED" "$dir/tour.log" >&2 || true
        status=1
    fi
    "$root/scripts/check-shots.sh" "$dir" "$model" || status=1
done
exit $status
