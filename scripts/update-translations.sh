#!/usr/bin/env bash
# Brings the interface catalogues (qml/app/i18n/*.ts) up to date with the
# qsTr texts of the QML sources; run it after adding or changing a text.
#   scripts/update-translations.sh          update the catalogues in place
#   scripts/update-translations.sh --check  change nothing; fail when a
#                                           catalogue is not up to date or
#                                           holds an untranslated entry
# LUPDATE may name the lupdate program (default: Qt 6's own).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
lupdate="${LUPDATE:-/usr/lib/qt6/bin/lupdate}"
[ -x "$lupdate" ] || lupdate="$(command -v lupdate)"

catalogues=("$root"/qml/app/i18n/VeloranDeck_*.ts)
# The same options as the build's own update target (app/CMakeLists.txt).
run_lupdate() {
    "$lupdate" -silent -source-language zh_CN -locations none -extensions qml,js \
        "$root/qml/app" "$root/qml/controls" -ts "$@"
}

if [ "${1:-}" != "--check" ]; then
    run_lupdate "${catalogues[@]}"
    exit 0
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
copies=()
for ts in "${catalogues[@]}"; do
    cp "$ts" "$work/"
    copies+=("$work/$(basename "$ts")")
done
run_lupdate "${copies[@]}"
status=0
for ts in "${catalogues[@]}"; do
    if ! diff -u "$ts" "$work/$(basename "$ts")"; then
        echo "$(basename "$ts") does not match the sources' texts" >&2
        status=1
    fi
done
if [ $status -ne 0 ]; then
    echo "Run scripts/update-translations.sh and commit the catalogues." >&2
fi
# Every entry carries a finished translation: an unfinished or empty one
# would show the Chinese source text in that language. A text that a
# language shows as written is entered as its own translation.
for ts in "${catalogues[@]}"; do
    if grep -n -E '<translation( type="[a-z]+")?>[[:space:]]*</translation>|<translation/>|<translation type=' "$ts" >&2; then
        echo "$(basename "$ts") has untranslated entries (lines above)" >&2
        status=1
    fi
done
exit $status
