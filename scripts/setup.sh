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
    # orvane: its icons (SVG) and a Japanese font for the popup's kanji.
    libqt6svg6 fonts-noto-cjk
    # The GUI tests and the demo: a private X server, a tray host, clicks, window lists, the
    # X events they wait on, a session bus with a stand-in tray watcher, sound recording.
    xvfb trayer xdotool x11-utils libxcb1-dev libxcb-damage0-dev dbus python3-dbusmock pulseaudio-utils
    # HTML mail bodies: libxml2's HTML parser.
    libxml2-dev
    # POP3 over TLS; the tests make their own certificates with it.
    libssl-dev openssl
    # libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer for the fuzz harnesses.
    clang libclang-rt-14-dev
    # A private bus with a NetworkManager stand-in for the dial-up tests.
    dbus python3-dbusmock
    # Japanese text in the dialogs, and a private X display for their screenshots.
    fonts-noto-cjk xvfb
)

# Debian starts its own mail service when Dovecot is installed; the tests and the demo run a
# private instance only, so the system-wide one is stopped and kept from starting at boot.
quiet_system_dovecot() {
    dpkg-query -W -f='${Status}' dovecot-core 2>/dev/null | grep -q 'install ok installed' ||
        return 0
    [ "$(id -u)" -eq 0 ] || return 0
    if [ -d /run/systemd/system ]; then
        systemctl disable --now dovecot.service dovecot.socket > /dev/null 2>&1 || true
    else
        systemctl disable dovecot.service dovecot.socket > /dev/null 2>&1 || true
        if command -v invoke-rc.d > /dev/null; then
            invoke-rc.d dovecot stop > /dev/null 2>&1 || true
        fi
        if command -v update-rc.d > /dev/null; then
            update-rc.d dovecot disable > /dev/null 2>&1 || true
        fi
    fi
}
trap quiet_system_dovecot EXIT

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
