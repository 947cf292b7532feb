#!/usr/bin/env bash
# Tours the built program on each emulated model under Xvfb, with the real
# system bridge, in a new user's folders: scripts/tour/PageTour.qml is copied
# to build/tour/<model>/ and loaded as the root document (VELORAN_ROOT_URL).
# It clicks its way through every page and window; at each view it asks for
# a picture, and this script pictures the X screen as it is (ImageMagick's
# import) into <name>.png, with the tour's geometry in <name>.txt. Then
# scripts/check-shots.sh checks the pictures, and the log is searched for
# the warnings no run may print.
#   scripts/page-tour.sh [build folder] [--scale S] [--screen WxH] [--lang L] [model...]
#   defaults: build/default, scale 1, screen 1920x1080, the system's language, r7 t40 u20
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

# Inside Xvfb: runs the program and pictures the screen whenever the tour
# asks, until the program ends; its exit status is the program's.
if [ "${1:-}" = "--serve" ]; then
    dir="$2"
    program="$3"
    "$program" >"$dir/tour.log" 2>&1 &
    pid=$!
    tail -n +1 -F --pid="$pid" "$dir/tour.log" 2>/dev/null | while IFS= read -r line; do
        case "$line" in
        *"TOUR SHOT "*)
            read -r -a fields <<<"${line#*TOUR SHOT }"
            name="${fields[0]}"
            case "$name" in *[!a-z0-9_]*|"") continue ;; esac
            : >"$dir/$name.txt"
            for field in "${fields[@]:1}"; do
                echo "${field%%=*} ${field#*=}" >>"$dir/$name.txt"
            done
            import -window root "$dir/$name.tmp.png"
            mv "$dir/$name.tmp.png" "$dir/$name.png"
            ;;
        esac
    done
    wait "$pid"
    exit $?
fi

build="$root/build/default"
if [ $# -gt 0 ] && [ -d "$1" ]; then
    build="$(cd "$1" && pwd)"
    shift
fi
scale=1
screen=1920x1080
lang=""
models=()
while [ $# -gt 0 ]; do
    case "$1" in
    --scale) scale="${2:?--scale needs a factor}"; shift 2 ;;
    --screen) screen="${2:?--screen needs WxH}"; shift 2 ;;
    --lang) lang="${2:?--lang needs a language code}"; shift 2 ;;
    r7|t40|u20) models+=("$1"); shift ;;
    *) echo "unknown argument: $1" >&2; exit 2 ;;
    esac
done
[ ${#models[@]} -gt 0 ] || models=(r7 t40 u20)
[[ "$screen" =~ ^[0-9]+x[0-9]+$ ]] || { echo "screen size is WxH, not $screen" >&2; exit 2; }
[[ "$scale" =~ ^[0-9]+(\.[0-9]+)?$ ]] || { echo "scale is a number, not $scale" >&2; exit 2; }
program="$build/bin/VeloranDeck"
[ -x "$program" ] || { echo "no program in $build: build it first" >&2; exit 2; }
for tool in xvfb-run import convert; do
    command -v "$tool" >/dev/null || { echo "$tool missing: scripts/install-deps.sh" >&2; exit 2; }
done

# Lines that betray a fault in the interface, wherever they come from.
warnings='Binding loop|TypeError|ReferenceError|Cannot read property|Unable to assign|is not a function|deprecated'

status=0
for model in "${models[@]}"; do
    dir="$build/tour/$model"
    rm -rf "$dir"
    mkdir -p "$dir/home/config" "$dir/home/data" "$dir/home/cache" "$dir/home/tmp"
    chmod 700 "$dir/home/tmp"
    cp "$root/scripts/tour/PageTour.qml" "$dir/"
    echo "== $model at ${scale}x on $screen${lang:+ in $lang}"
    language=()
    [ -z "$lang" ] || language=(-u LC_ALL -u LC_MESSAGES LANG="$lang.UTF-8" LANGUAGE="$lang")
    # A new user's folders; the server address is a closed local port, so
    # nothing leaves the machine.
    result=0
    env "${language[@]}" XDG_CONFIG_HOME="$dir/home/config" XDG_DATA_HOME="$dir/home/data" \
            XDG_CACHE_HOME="$dir/home/cache" XDG_RUNTIME_DIR="$dir/home/tmp" TMPDIR="$dir/home/tmp" \
            VELORAN_EMULATE="$model" VELORAN_SERVER_URL="http://127.0.0.1:9" \
            VELORAN_ROOT_URL="file://$dir/PageTour.qml" QT_QPA_PLATFORM=xcb \
            QT_SCALE_FACTOR="$scale" QT_SCALE_FACTOR_ROUNDING_POLICY=PassThrough \
            timeout 300 xvfb-run -a -s "-screen 0 ${screen}x24" "$0" --serve "$dir" "$program" || result=$?
    if [ $result -ne 0 ]; then
        echo "$model: the tour failed (exit status $result), see $dir/tour.log" >&2
        grep "TOUR FAILED" "$dir/tour.log" >&2 || true
        status=1
    fi
    if grep -E "$warnings" "$dir/tour.log" >&2; then
        echo "$model: the log holds the warnings above" >&2
        status=1
    fi
    "$root/scripts/check-shots.sh" "$dir" "$model" "$screen" || status=1
done
exit $status
