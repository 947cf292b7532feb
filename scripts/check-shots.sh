#!/usr/bin/env bash
# Checks the pictures of one page tour (scripts/page-tour.sh) with
# ImageMagick. Each view is a picture of the whole X screen, with the tour's
# <name>.txt giving, in device pixels, the window and the items that only
# that view shows. A view passes when its picture is of the screen's size,
# the window lies wholly on the screen with our title bar where the tour saw
# it, the title's text fills the title's place and nothing beside it, and
# every probe of the view's table looks as that item looks on that view
# alone (the selected tab's orange button of its own width, the meter lit by
# the microphone, the last row of a tab scrolled onto the screen, ...) and
# lies inside the window, and no text the view shows runs into another
# text or a control. So a blank picture, one of another view, a window off
# the screen, a button past its window's edge or a label over its field
# fails.
#   scripts/check-shots.sh <tour folder> <model> [screen WxH, default 1920x1080]
set -euo pipefail
dir="${1:?tour folder}"
model="${2:?model}"
screen="${3:-1920x1080}"
command -v convert >/dev/null || { echo "ImageMagick missing: scripts/install-deps.sh" >&2; exit 2; }
screen_w="${screen%x*}"
screen_h="${screen#*x}"

orange="#F77F13"
meter_green="#75B646"

status=0
fail() {
    echo "$model: $*" >&2
    status=1
}

# Share (0..1000) of the region's pixels within fuzz of the colour.
share() {
    local file="$1" region="$2" colour="$3" fuzz="$4"
    convert "$file" -crop "$region" +repage -alpha off -fuzz "$fuzz" -fill black +opaque "$colour" \
        -fill white -opaque "$colour" -format "%[fx:round(mean*1000)]" info:
}

# Pixels within fuzz of the colour in the region.
pixels() {
    local file="$1" region="$2" colour="$3" fuzz="$4"
    convert "$file" -crop "$region" +repage -alpha off -fuzz "$fuzz" -fill black +opaque "$colour" \
        -fill white -opaque "$colour" -format "%[fx:round(mean*w*h)]" info:
}

# Spread of the region's grey levels, times 1000: 0 for a flat colour.
spread() {
    convert "$1" -crop "$2" +repage -alpha off -colorspace gray -format "%[fx:round(standard_deviation*1000)]" info:
}

region() {
    echo "$3x$4+$1+$2"
}

# A value of the view's .txt: x,y,w,h as four words.
value() {
    local found
    found="$(awk -v key="$2" '$1 == key { print $2 }' "$1")"
    echo "${found//,/ }"
}

# The box grown by d pixels on every side, kept on the screen.
grown() {
    local x=$1 y=$2 w=$3 h=$4 d=$5
    local left=$((x - d)) top=$((y - d)) right=$((x + w + d)) bottom=$((y + h + d))
    [ $left -ge 0 ] || left=0
    [ $top -ge 0 ] || top=0
    [ $right -le "$screen_w" ] || right=$screen_w
    [ $bottom -le "$screen_h" ] || bottom=$screen_h
    echo "$left $top $((right - left)) $((bottom - top))"
}

inside() {
    local x=$1 y=$2 w=$3 h=$4 ox=$5 oy=$6 ow=$7 oh=$8
    [ "$x" -ge "$ox" ] && [ "$y" -ge "$oy" ] && [ $((x + w)) -le $((ox + ow)) ] && [ $((y + h)) -le $((oy + oh)) ]
}

# probe <view> <file> <kind> <label> <x y w h>
probe() {
    local view="$1" file="$2" kind="$3" label="$4"
    shift 4
    local x=$1 y=$2 w=$3 h=$4
    if [ "$w" -le 0 ] || [ "$h" -le 0 ] || ! inside "$x" "$y" "$w" "$h" 0 0 "$screen_w" "$screen_h"; then
        fail "$view: $label at $w x $h +$x +$y is not on the screen"
        return
    fi
    local box got
    box="$(region "$x" "$y" "$w" "$h")"
    case "$kind" in
    button)
        # Filled with orange, and its edges are where the item's are: the
        # ring around it holds hardly any.
        got="$(share "$file" "$box" "$orange" 8%)"
        [ "$got" -ge 450 ] || fail "$view: $label is not an orange button ($got/1000 orange)"
        local ring total inner
        ring="$(grown "$x" "$y" "$w" "$h" 4)"
        # shellcheck disable=SC2086
        total="$(pixels "$file" "$(region $ring)" "$orange" 8%)"
        inner="$(pixels "$file" "$box" "$orange" 8%)"
        [ $((total - inner)) -le $(((w + h) * 2)) ] \
            || fail "$view: orange runs past $label's edges ($((total - inner)) pixels around it)"
        # ... and reaches them: the orange spans the item's width and height.
        local span
        # shellcheck disable=SC2086
        span="$(convert "$file" -crop "$(region $ring)" +repage -alpha off -fuzz 8% -fill black +opaque "$orange" \
            -format "%@" info:)"
        span="${span%%+*}"
        [ "${span%x*}" -ge $((w * 9 / 10)) ] && [ "${span#*x}" -ge $((h * 8 / 10)) ] \
            && [ "${span%x*}" -le $((w + 3)) ] && [ "${span#*x}" -le $((h + 3)) ] \
            || fail "$view: the orange of $label spans $span, not its ${w}x${h}"
        ;;
    plain)
        got="$(share "$file" "$box" "$orange" 8%)"
        [ "$got" -le 50 ] || fail "$view: $label is orange ($got/1000), where that view shows no orange"
        ;;
    ink)
        got="$(spread "$file" "$box")"
        [ "$got" -ge 40 ] || fail "$view: $label shows nothing (spread $got)"
        ;;
    meter)
        got="$(pixels "$file" "$box" "$meter_green" 12%)"
        [ "$got" -ge $((w * h / 40 + 4)) ] || fail "$view: $label is dark ($got lit pixels): no level from the microphone"
        ;;
    *)
        fail "$view: unknown probe kind $kind"
        ;;
    esac
}

# The probes that tell each view apart: label and kind, as the tour names
# the items. Tabs: the selected one orange, the others not.
tab_probes() {
    local selected="$1" count="$2" i
    for ((i = 0; i < count; ++i)); do
        if [ "$i" -eq "$selected" ]; then echo "tab$i button"; else echo "tab$i plain"; fi
    done
}

tabs=3
[ "$model" = t40 ] || tabs=4
views=(home control_mixer control_microphone control_microphone_end window_equalizer)
[ "$model" = r7 ] && views+=(window_auto_gain)
views+=(control_monitor control_monitor_end)
[ "$model" = t40 ] || views+=(control_lighting control_lighting_end)
views+=(control_general control_general_end)
[ "$model" = r7 ] && views+=(control_hotkey_programs)
views+=(window_reset window_support window_settings window_upgrade_failure upgrade)

probes_of() {
    case "$1" in
    home) echo "start button"; echo "heading ink" ;;
    control_mixer) echo "meter meter"; echo "stripIcon ink" ;;
    control_microphone) tab_probes 0 $tabs ;;
    control_monitor) tab_probes 1 $tabs ;;
    control_lighting) tab_probes 2 $tabs ;;
    control_general) tab_probes $((tabs - 1)) $tabs ;;
    control_*_end) probes_of "${1%_end}"; echo "lastRow ink" ;;
    window_equalizer) echo "chart ink" ;;
    control_hotkey_programs) echo "programs ink" ;;
    window_auto_gain) echo "progress ink"; echo "cancel plain"; echo "cancel ink" ;;
    window_reset) echo "confirm button"; echo "cancel plain"; echo "cancel ink" ;;
    window_support) echo "code ink"; echo "chat ink" ;;
    window_settings) echo "update ink" ;;
    window_upgrade_failure) echo "restart button"; echo "download ink" ;;
    upgrade) echo "heading ink"; echo "retry button" ;;
    esac
}

# The tour's text_ and control_ boxes of a view: no text may run into
# another text, nor partly into a control (one wholly inside a control is
# that control's own). Two device pixels are left for rounding.
check_layout() {
    local view="$1" facts="$2" found
    found="$(awk '
        function lo(a, b) { return a < b ? a : b }
        function hi(a, b) { return a > b ? a : b }
        $1 ~ /^(text|control)_/ {
            split($2, b, ",")
            n++; name[n] = $1; x[n] = b[1]; y[n] = b[2]; r[n] = b[1] + b[3]; d[n] = b[2] + b[4]
            if ($1 ~ /^text_/) texts++
        }
        END {
            if (texts == 0) print "no texts probed"
            for (i = 1; i <= n; i++) {
                if (name[i] !~ /^text_/) continue
                for (j = 1; j <= n; j++) {
                    if (j == i || (name[j] ~ /^text_/ && j < i)) continue
                    if (lo(r[i], r[j]) - hi(x[i], x[j]) < 2 || lo(d[i], d[j]) - hi(y[i], y[j]) < 2) continue
                    if (name[j] ~ /^control_/ && x[i] >= x[j] - 1 && y[i] >= y[j] - 1 && r[i] <= r[j] + 1 && d[i] <= d[j] + 1)
                        continue
                    printf "%s %d,%d,%d,%d runs into %s %d,%d,%d,%d\n", name[i], x[i], y[i], r[i] - x[i], d[i] - y[i],
                        name[j], x[j], y[j], r[j] - x[j], d[j] - y[j]
                }
            }
        }' "$facts")"
    local line
    while IFS= read -r line; do
        [ -z "$line" ] || fail "$view: $line"
    done <<<"$found"
}

check_view() {
    local view="$1" file="$dir/$1.png" facts="$dir/$1.txt"
    if [ ! -f "$file" ] || [ ! -f "$facts" ]; then
        fail "$view.png or $view.txt missing"
        return
    fi
    local size
    size="$(identify -format "%wx%h" "$file")"
    [ "$size" = "$screen" ] || { fail "$view.png is $size, not the screen's $screen"; return; }

    local scale window title
    scale="$(value "$facts" scale)"
    read -r -a window <<<"$(value "$facts" window)"
    read -r -a title <<<"$(value "$facts" title)"
    if [ ${#window[@]} -ne 4 ] || [ ${#title[@]} -ne 4 ]; then
        fail "$view.txt lacks the window or its title"
        return
    fi
    local wx=${window[0]} wy=${window[1]} ww=${window[2]} wh=${window[3]}
    if ! inside "$wx" "$wy" "$ww" "$wh" 0 0 "$screen_w" "$screen_h"; then
        fail "$view: the window ${ww}x${wh}+${wx}+${wy} is not wholly on the ${screen} screen"
        return
    fi
    # The main window opens at 1300 x 800 where the screen holds it, else at
    # the largest size that fits, never below 800 x 500 (logical pixels).
    case "$view" in
    home|control_*|upgrade)
        local want
        want="$(awk -v s="$scale" -v W="$screen_w" -v H="$screen_h" 'function fit(d, room, low) {
                v = d < room ? d : room; return v > low ? v : low }
            BEGIN { printf "%d %d", fit(1300, W / s, 800) * s, fit(800, H / s, 500) * s }')"
        if [ $((ww - ${want% *})) -gt 2 ] || [ $((${want% *} - ww)) -gt 2 ] \
                || [ $((wh - ${want#* })) -gt 2 ] || [ $((${want#* } - wh)) -gt 2 ]; then
            fail "$view: the main window is ${ww}x${wh}, not the ${want/ /x} that fits the screen"
        fi
        ;;
    esac
    # Our title bar runs along the window's top.
    local bar_h got
    bar_h="$(awk -v s="$scale" 'BEGIN { print int(30 * s) }')"
    got="$(share "$file" "$(region "$wx" "$wy" "$ww" "$bar_h")" "#1a1a1a" 3%)"
    [ "$got" -ge 600 ] || fail "$view: no title bar along the window's top ($got/1000 of it)"
    # The title's white text fills its place and shows nowhere else in the
    # bar's middle, so a window of another title fails.
    local tx=${title[0]} ty=${title[1]} tw=${title[2]} th=${title[3]}
    local in_title in_band around margin
    in_title="$(pixels "$file" "$(region "$tx" "$ty" "$tw" "$th")" "#ffffff" 25%)"
    margin="$(awk -v s="$scale" 'BEGIN { print int(110 * s) }')"
    # shellcheck disable=SC2046
    around="$(grown "$tx" "$ty" "$tw" "$th" 3)"
    # shellcheck disable=SC2086
    in_band="$(pixels "$file" "$(region $((wx + margin)) "$wy" $((ww - 2 * margin)) "$bar_h")" "#ffffff" 25%)"
    local in_around
    # shellcheck disable=SC2086
    in_around="$(pixels "$file" "$(region $around)" "#ffffff" 25%)"
    [ "$in_title" -ge $((tw * th / 12 + 1)) ] || fail "$view: the title's place holds no text ($in_title pixels)"
    [ $((in_band - in_around)) -le 2 ] || fail "$view: title text outside the title's place ($((in_band - in_around)) pixels)"
    # The left end of the title text lies where the title starts.
    local ink_box
    ink_box="$(convert "$file" -crop "$(region "$tx" "$ty" "$tw" "$th")" +repage -alpha off -fuzz 25% \
        -fill black +opaque "#ffffff" -format "%@" info:)"
    local ink_w="${ink_box%%x*}"
    [ "$ink_w" -ge $((tw * 8 / 10)) ] || fail "$view: the title's text is narrower ($ink_w) than its place ($tw)"

    local label kind box
    while read -r label kind; do
        [ -n "$label" ] || continue
        read -r -a box <<<"$(value "$facts" "$label")"
        if [ ${#box[@]} -ne 4 ]; then
            # The support window shows one of its two pages.
            case "$view:$label" in window_support:code|window_support:chat) continue ;; esac
            fail "$view: the tour gave no place for $label"
            continue
        fi
        # Every probed item belongs to the window: one past its edges is cut
        # off, even where the screen still shows it (a pixel for rounding).
        if ! inside "${box[@]}" $((wx - 1)) $((wy - 1)) $((ww + 2)) $((wh + 2)); then
            if [ "$label" = lastRow ]; then
                fail "$view: the tab's last row ${box[*]} is not inside the window, scrolled to the end"
            else
                fail "$view: $label ${box[*]} is not inside the window ${window[*]}"
            fi
        fi
        probe "$view" "$file" "$kind" "$label" "${box[@]}"
    done < <(probes_of "$view")
    check_layout "$view" "$facts"
    echo "$view: checked"
}

for view in "${views[@]}"; do
    check_view "$view"
done
if [ "$model" = t40 ] && [ -e "$dir/control_lighting.png" ]; then
    fail "the T40 has no lighting tab, but control_lighting.png exists"
fi
# Two views with one picture: one of them is wrong.
declare -A seen=()
for view in "${views[@]}"; do
    [ -f "$dir/$view.png" ] || continue
    sum="$(identify -format "%#" "$dir/$view.png")"
    # Only a tab too short to scroll looks the same at its end.
    if [ -n "${seen[$sum]:-}" ] && { [ "${seen[$sum]}_end" != "$view" ] || [ "$(value "$dir/$view.txt" scrolled)" != 0 ]; }; then
        fail "$view.png is the same picture as ${seen[$sum]}.png"
    fi
    seen[$sum]="$view"
done

[ $status -eq 0 ] && echo "$model: every picture checked"
exit $status
