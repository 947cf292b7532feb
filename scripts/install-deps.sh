#!/usr/bin/env bash
# Installs what Veloran Deck needs to build, run and test on Debian 12.
# Idempotent; run as root (or with sudo available). With --tests, also a
# few small programs whose desktop entries and icons the tests list as a
# user's desktop would.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git clang libclang-rt-14-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-declarative-dev qt6-declarative-dev-tools qt6-tools-dev qt6-tools-dev-tools
    qt6-l10n-tools qt6-translations-l10n libqt6sql6-sqlite libqt6svg6 libqt6opengl6-dev
    qml6-module-qtquick qml6-module-qtquick-controls qml6-module-qtquick-layouts
    qml6-module-qtquick-window qml6-module-qtquick-templates qml6-module-qtquick-dialogs
    qml6-module-qtquick-shapes qml6-module-qtqml-workerscript qml6-module-qtqml qml6-module-qtqml-models qml6-module-qttest
    qml6-module-qt5compat-graphicaleffects
    libglib2.0-dev libhidapi-dev portaudio19-dev libsamplerate0-dev libx11-dev libxtst-dev libxext-dev dbus
    fonts-noto-cjk xvfb xauth imagemagick librsvg2-bin qrencode
)

if [ "${1:-}" = "--tests" ]; then
    packages+=(xterm htop mc vim galculator xarchiver lxterminal)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
