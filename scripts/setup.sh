#!/bin/bash
# Installs the Debian packages that building, running and testing Velkora need.
# Idempotent: installs only what is missing. Must run as root (apt-get).
set -euo pipefail

PACKAGES=(
    build-essential cmake pkg-config git clang-format python3
    libgtest-dev libgmock-dev
    qt6-base-dev qt6-base-dev-tools qt6-multimedia-dev libqt6multimedia6
    qt6-qpa-plugins
    libespeak-ng-dev espeak-ng-data espeak-ng
    mecab libmecab-dev mecab-ipadic-utf8
    # A private sound server with a null output, which the voice's playback tests listen to.
    pulseaudio
    dovecot-core dovecot-pop3d
    sox
    # The character's screenshot test: a private X server, and Japanese fonts for the balloon.
    xvfb fonts-noto-cjk
)

missing=()
for pkg in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$pkg")
    fi
done

if [ ${#missing[@]} -eq 0 ]; then
    echo "setup: all packages present"
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "setup: these packages are missing: ${missing[*]}" >&2
    echo "setup: run this script as root (sudo $0) to install them" >&2
    exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
