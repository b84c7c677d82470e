#!/bin/bash
# A complete first run of orvane with nothing configured: a private Dovecot on 127.0.0.1 with
# everyday Japanese mail for two accounts, a throwaway settings folder (your own settings are
# never touched), the check at start-up, the popup and the sound.
#
#   bash scripts/demo.sh                    on your desktop, until you choose 終了(&X)
#   bash scripts/demo.sh --headless OUTDIR  on a private X server with a tray and a sound
#                                           server; writes OUTDIR/screen.png, menu.png,
#                                           popup.png, rows.json and reading.wav, then stops
#                                           everything it started
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

usage() {
    sed -n '2,10p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'
    exit 2
}

ARGS=()
case "${1:-}" in
    "") ;;
    --headless)
        [ $# -eq 2 ] || usage
        ARGS=(--headless "$2")
        ;;
    *) usage ;;
esac

if [ ${#ARGS[@]} -eq 0 ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "demo: no desktop here (neither DISPLAY nor WAYLAND_DISPLAY is set)." >&2
    echo "demo: run it headless instead: bash scripts/demo.sh --headless OUTDIR" >&2
    exit 2
fi

# Everything the demo needs, the test servers included (and Debian's own mail service, which
# installing Dovecot starts, is stopped and disabled again: only the private one runs).
bash scripts/setup.sh

BUILD=build/release
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
TARGETS=(orvane velkora-check velkora-test-dovecot velkora-screenshot velkora-xevents)
if [ -f options/CMakeLists.txt ]; then
    TARGETS+=(quorble)
fi
cmake --build "$BUILD" -j "$(nproc)" --target "${TARGETS[@]}"

exec /usr/bin/python3 -W ignore::ResourceWarning scripts/lib/demo.py --bin "$BUILD/bin" \
    "${ARGS[@]}"
