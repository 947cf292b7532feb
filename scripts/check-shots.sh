#!/usr/bin/env bash
# Checks the pictures of one page tour (scripts/page-tour.sh) with
# ImageMagick: each expected file exists with its size, and the drawer, the
# selected tab and the cards show their colours.
#   scripts/check-shots.sh <tour folder> <model>
set -euo pipefail
dir="${1:?tour folder}"
model="${2:?model}"
command -v convert >/dev/null || { echo "ImageMagick missing: scripts/install-deps.sh" >&2; exit 2; }

status=0
fail() {
    echo "$model: $*" >&2
    status=1
}

size() {
    identify -format "%wx%h" "$1"
}

# Pixels of exactly that colour inside the region WxH+X+Y.
count() {
    convert "$1" -crop "$2" +repage -alpha off -fill black +opaque "$3" -fill white -opaque "$3" \
        -format "%[fx:round(mean*w*h)]" info:
}

expect_size() {
    local file="$dir/$1"
    if [ ! -f "$file" ]; then
        fail "$1 missing"
        return 1
    fi
    local got
    got="$(size "$file")"
    [ "$got" = "$2" ] || fail "$1 is $got, not $2"
}

# at_least <file> <region> <colour> <pixels> <what>
at_least() {
    local file="$dir/$1"
    [ -f "$file" ] || return 0
    local got
    got="$(count "$file" "$2" "$3")"
    [ "$got" -ge "$4" ] || fail "$1: $5 ($3) has $got pixels in $2, fewer than $4"
}

pages=(control_microphone control_monitor control_general)
[ "$model" = t40 ] || pages+=(control_lighting)
for page in "${pages[@]}"; do
    expect_size "$page.png" 1300x800 || continue
    # The drawer's margin strip right of its content.
    at_least "$page.png" 18x700+1281+60 "#181818" 12000 "drawer"
    # One tab button of at least 60 by 35, less its text.
    at_least "$page.png" 450x800+850+0 "#F77F13" 1200 "selected tab"
done
at_least control_monitor.png 450x800+850+0 "#242424" 20000 "monitor card"
at_least control_microphone.png 450x800+850+0 "#242424" 20000 "microphone cards"
if [ "$model" = t40 ] && [ -e "$dir/control_lighting.png" ]; then
    fail "the T40 has no lighting tab, but control_lighting.png exists"
fi
expect_size window_equalizer.png 550x480 || true
expect_size window_reset.png 500x300 || true
if [ "$model" = r7 ]; then
    expect_size window_auto_gain.png 500x300 || true
fi

for png in "$dir"/*.png; do
    [ -e "$png" ] && echo "$(basename "$png"): $(size "$png")"
done
[ $status -eq 0 ] && echo "$model: every picture checked"
exit $status
