#!/bin/bash
# Screenshots of the options dialog's four tabs and the account editor on a private Xvfb
# display, as a user would see them. Usage: scripts/options-screenshots.sh OUTDIR [BUILD_DIR]
# Set QT_SCALE_FACTOR=2 to see the dialog on a HiDPI screen.
set -euo pipefail

OUT="${1:?usage: $0 OUTDIR [BUILD_DIR]}"
BUILD="${2:-build/release}"
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
mkdir -p "$OUT"
cmake --build "$ROOT/$BUILD" --target options_screenshots -j2 >/dev/null

# Xvfb picks a free display and writes its number to the descriptor we give it; reading the
# pipe waits until it does.
TMP="$(mktemp -d)"
mkfifo "$TMP/display"
Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$TMP/display" 2>"$TMP/xvfb.log" &
XVFB_PID=$!
trap 'kill "$XVFB_PID" 2>/dev/null || true; rm -rf "$TMP"' EXIT
read -r DISPLAY_NUMBER <"$TMP/display"
DISPLAY=":$DISPLAY_NUMBER" QT_QPA_PLATFORM=xcb "$ROOT/$BUILD/bin/options_screenshots" "$OUT"
