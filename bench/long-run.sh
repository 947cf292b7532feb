#!/usr/bin/env bash
# Runs the built program for a while as a new user would leave it running and
# prints what it costs: CPU, wake-ups of each named thread, memory, open files
# and the growth of every file in its folders. Under Xvfb, in a new user's
# folders, with the server address on a closed local port.
#   bench/long-run.sh [--model t40|u20|r7|none] [--seconds N] [--interval S] [--warm-up S] [build folder]
#   defaults: t40, 180 s sampled every 10 s after 20 s of start-up, build/default
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build/default"
model=t40
seconds=180
interval=10
warmup=20
while [ $# -gt 0 ]; do
    case "$1" in
    --model) model="$2"; shift 2 ;;
    --seconds) seconds="$2"; shift 2 ;;
    --interval) interval="$2"; shift 2 ;;
    --warm-up) warmup="$2"; shift 2 ;;
    -*) echo "unknown option $1" >&2; exit 2 ;;
    *) build="$(cd "$1" && pwd)"; shift ;;
    esac
done
case "$model" in t40|u20|r7|none) ;; *) echo "unknown model: $model (t40, u20, r7 or none)" >&2; exit 2 ;; esac
program="$build/bin/VeloranDeck"
[ -x "$program" ] || { echo "no program in $build: build it first" >&2; exit 2; }
command -v Xvfb >/dev/null || { echo "Xvfb missing: scripts/install-deps.sh" >&2; exit 2; }

dir="$build/long-run/$model"
rm -rf "$dir"
home="$dir/home"
mkdir -p "$home/config" "$home/data" "$home/cache" "$home/tmp"
chmod 700 "$home/tmp"

xvfb_pid=""
pid=""
finish() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    return 0
}
trap finish EXIT

# Xvfb picks a free display and writes its number when it is ready.
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1920x1080x24 -nolisten tcp >"$dir/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 30 -u "$display_fd" display || { echo "Xvfb did not start, see $dir/xvfb.log" >&2; exit 1; }
exec {display_fd}<&-

emulate=()
[ "$model" = none ] || emulate=(VELORAN_EMULATE="$model")
env -u VELORAN_EMULATE DISPLAY=":$display" QT_QPA_PLATFORM=xcb \
    XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache" \
    XDG_RUNTIME_DIR="$home/tmp" TMPDIR="$home/tmp" VELORAN_SERVER_URL="http://127.0.0.1:9" \
    "${emulate[@]}" "$program" >"$dir/program.log" 2>&1 &
pid=$!

sleep "$warmup"
kill -0 "$pid" 2>/dev/null || { echo "the program ended during start-up, see $dir/program.log" >&2; exit 1; }

ticks=$(getconf CLK_TCK)
# One line per thread: tid, voluntary context switches (each one a sleep
# that a wake-up ended), name.
threads() {
    local task
    for task in /proc/"$pid"/task/*; do
        awk -v tid="${task##*/}" -v name="$(cat "$task/comm" 2>/dev/null)" \
            '/^voluntary_ctxt_switches/ { print tid, $2, name }' "$task/status" 2>/dev/null || true
    done
}
cpu_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' /proc/"$pid"/stat; }
rss_kib() { awk '/^VmRSS/ { print $2 }' /proc/"$pid"/status; }
open_files() { find /proc/"$pid"/fd -mindepth 1 -maxdepth 1 | wc -l; }
# Settings and data file by file; the caches and the runtime folder as one line each.
files() {
    find "$home/config" "$home/data" -type f -printf '%s\t%p\n' | sed "s|\t$home/|\t|"
    local folder
    for folder in cache tmp; do
        printf '%s\t%s\n' "$(du -sb "$home/$folder" | cut -f1)" "$folder/ (all of it)"
    done
}

start_ns=$(date +%s%N)
start_cpu=$(cpu_ticks)
start_fds=$(open_files)
threads >"$dir/threads.start"
files >"$dir/files.start"
: >"$dir/rss"
next=0
while :; do
    now_ns=$(date +%s%N)
    elapsed_ms=$(( (now_ns - start_ns) / 1000000 ))
    kill -0 "$pid" 2>/dev/null || { echo "the program ended after $((elapsed_ms / 1000)) s, see $dir/program.log" >&2; exit 1; }
    echo "$elapsed_ms $(rss_kib)" >>"$dir/rss"
    [ "$elapsed_ms" -ge $((seconds * 1000)) ] && break
    next=$((next + interval))
    pause_ms=$((next * 1000 - elapsed_ms))
    [ "$pause_ms" -gt 0 ] && sleep "$(awk -v ms="$pause_ms" 'BEGIN { printf "%.3f", ms / 1000 }')"
done
end_cpu=$(cpu_ticks)
end_fds=$(open_files)
threads >"$dir/threads.end"
files >"$dir/files.end"
end_ns=$(date +%s%N)
wall=$(awk -v a="$start_ns" -v b="$end_ns" 'BEGIN { print (b - a) / 1e9 }')

echo "long run: model $model, ${seconds} s sampled every ${interval} s after ${warmup} s of start-up"
awk -v c=$((end_cpu - start_cpu)) -v t="$ticks" -v w="$wall" \
    'BEGIN { printf "CPU: %.1f %% of a core\n", 100 * c / t / w }'
# RSS start and end; slope by least squares over the samples after the first
# minute (over all of them in a shorter run).
awk '{ t[NR] = $1 / 60000; r[NR] = $2 / 1024 }
     END {
         from = 1
         if (t[NR] >= 2) for (i = 1; i <= NR; ++i) if (t[i] >= 1) { from = i; break }
         n = 0; st = 0; sr = 0; stt = 0; str = 0
         for (i = from; i <= NR; ++i) { ++n; st += t[i]; sr += r[i]; stt += t[i] * t[i]; str += t[i] * r[i] }
         d = n * stt - st * st
         slope = d > 0 ? (n * str - st * sr) / d : 0
         printf "RSS: start %.1f MiB, end %.1f MiB, slope %.2f MiB/min from minute %.1f\n", r[1], r[NR], slope, t[from]
     }' "$dir/rss"
echo "open files: start $start_fds, end $end_fds"
echo "wake-ups a second per thread name (all its threads, and the busiest one):"
awk -v w="$wall" '
    NR == FNR { before[$1] = $2; next }
    { name = $3; for (i = 4; i <= NF; ++i) name = name " " $i
      r = ($2 - ($1 in before ? before[$1] : 0)) / w
      count[name]++; rate[name] += r; if (r > most[name]) most[name] = r }
    END { for (n in rate) printf "%.1f\t%s\t%d\t%.1f\n", rate[n], n, count[n], most[n] }' \
    "$dir/threads.start" "$dir/threads.end" |
    sort -t$'\t' -k1,1nr |
    awk -F'\t' '{ printf "  %-16s %3d thread(s) %8.1f   busiest %8.1f\n", $2, $3, $1, $4 }'
echo "files in the user's folders (bytes at start, at end, growth):"
awk -F'\t' 'NR == FNR { size[$2] = $1; next }
     { was = ($2 in size) ? size[$2] : 0; printf "  %-60s %10d %10d %+10d\n", $2, was, $1, $1 - was; seen[$2] = 1 }
     END { for (f in size) if (!(f in seen)) printf "  %-60s %10d %10s %+10d\n", f, size[f], "gone", -size[f] }' \
    "$dir/files.start" "$dir/files.end"
