#!/bin/bash
# Installs what running Velkora needs (only that: no test servers), builds the release and
# starts orvane from the build tree in your desktop session. It lives in the notification
# area until you choose 終了(&X) from its menu.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run: orvane is a desktop program: it lives in the notification area of a desktop" >&2
    echo "run: session, and there is none here (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
    echo "run: to see it work without a desktop: bash scripts/demo.sh --headless OUTDIR" >&2
    exit 2
fi

PACKAGES=(
    build-essential cmake pkg-config
    libgtest-dev libgmock-dev
    qt6-base-dev qt6-multimedia-dev libqt6multimedia6 qt6-qpa-plugins libqt6svg6
    libespeak-ng-dev espeak-ng-data espeak-ng
    mecab libmecab-dev mecab-ipadic-utf8
    libxml2-dev
    fonts-noto-cjk
)
missing=()
for pkg in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$pkg")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "run: installing ${missing[*]}"
    SUDO=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo > /dev/null ||
            { echo "run: run as root to install: ${missing[*]}" >&2; exit 1; }
        SUDO=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${SUDO[@]}" apt-get update -qq
    "${SUDO[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

BUILD=build/release
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
TARGETS=(orvane)
if [ -f options/CMakeLists.txt ]; then
    TARGETS+=(quorble)
fi
cmake --build "$BUILD" -j "$(nproc)" --target "${TARGETS[@]}"

echo "run: orvane is starting; it lives in the notification area (終了(&X) in its menu ends it)"
exec "$BUILD/bin/orvane"
