#!/usr/bin/env bash
# Draws the device pictures of the VeloranDeck module (qml/app/icons/) with
# ImageMagick: a plain sketch of a microphone base that names its model and
# where the interface shows it, so screenshots tell the pictures apart.
set -euo pipefail
cd "$(dirname "$0")/../qml/app/icons"

font=DejaVu-Sans-Bold

# draw <file> <width> <height> <accent> <model line> <use line>
draw() {
    local file=$1 w=$2 h=$3 accent=$4 model=$5 use=$6
    local cx=$((w / 2)) unit=$((h / 12))
    convert -size "${w}x${h}" xc:none \
        -fill "#2a2a2a" -stroke "$accent" -strokewidth $((unit / 4 + 1)) \
        -draw "roundrectangle $((cx - 3 * unit)),$((h / 2 + unit)) $((cx + 3 * unit)),$((h / 2 + 2 * unit)) $((unit / 2)),$((unit / 2))" \
        -draw "line $cx,$((h / 2 - unit / 2)) $cx,$((h / 2 + unit))" \
        -draw "roundrectangle $((cx - unit)),$((unit)) $((cx + unit)),$((h / 2 - unit / 2)) $unit,$unit" \
        -stroke none -fill "#ffffff" -font "$font" -gravity south \
        -pointsize $((unit * 3 / 2)) -annotate +0+$((unit * 2)) "$model" \
        -fill "$accent" -pointsize $((unit)) -annotate +0+$((unit / 2)) "$use" \
        -define png:exclude-chunks=date,time "PNG32:$file"
}

for model in r7 t40 u20; do
    name=$(echo "$model" | tr a-z A-Z)
    case $model in
        r7) accent="#F77F13" ;;
        t40) accent="#2B8CFF" ;;
        u20) accent="#3CC47C" ;;
    esac
    if [ "$model" = r7 ]; then
        draw device_r7.png 480 360 "$accent" "Veloran R7" "home picture"
        draw device1_r7.png 96 96 "$accent" "R7" "small icon"
    else
        # For these models the small icon is the home picture itself.
        draw "device_$model.png" 480 360 "$accent" "Veloran $name" "home picture / small icon"
        cp "device_$model.png" "device1_$model.png"
    fi
    draw "device2_$model.png" 360 270 "$accent" "Veloran $name" "firmware upgrade"
done
draw home_img.png 480 360 "#808080" "Veloran Deck" "home picture: no device"

# A made-up code in the look of a QR code (it encodes nothing), labelled as
# the sample it is; the support window shows it.
finder() { # x y: top-left module of a 7 × 7 finder pattern, 10 px modules
    local x=$(( $1 * 10 )) y=$(( $2 * 10 ))
    echo "-fill black -draw 'rectangle $x,$y $((x + 69)),$((y + 69))'" \
         "-fill white -draw 'rectangle $((x + 10)),$((y + 10)) $((x + 59)),$((y + 59))'" \
         "-fill black -draw 'rectangle $((x + 20)),$((y + 20)) $((x + 49)),$((y + 49))'"
}
eval convert -seed 7 -size 21x21 xc:gray +noise Random -colorspace gray -threshold 50% \
    -scale 1000% -bordercolor white -border 10 \
    "$(finder 1 1)" "$(finder 14 1)" "$(finder 1 14)" \
    -fill white -draw "'rectangle 60,95 170,135'" \
    -fill black -font "$font" -pointsize 18 -gravity center -annotate +0+5 "'sample QR'" \
    -define png:exclude-chunks=date,time PNG24:erweima.png
