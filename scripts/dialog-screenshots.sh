#!/usr/bin/env bash
# Takes the README's pictures of the settings dialogs (every tab) and the SIP and modem lines'
# dialogs on a private X server.
# usage: scripts/dialog-screenshots.sh [BUILD_DIR] [OUTPUT_DIR]   (KALVO_SCREEN=1024x600: another screen)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=$(realpath -m "${2:-docs/images}")
tool="$build/bin/dialog_screenshots"
[ -x "$tool" ] || { echo "dialog-screenshots: no $tool; build the target dialog_screenshots first" >&2; exit 1; }
display=""
for n in $(seq 161 220); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
Xvfb ":$display" -screen 0 "${KALVO_SCREEN:-1024x768}x24" -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
export DISPLAY=":$display" QT_QPA_PLATFORM=xcb KALVO_MESSAGEBOX=stderr ASAN_OPTIONS=detect_leaks=0
export KALVO_BIN_DIR="$(realpath "$build/bin")"
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
unset DBUS_SESSION_BUS_ADDRESS
timeout 120 "$tool" "$out"
echo "dialog-screenshots: wrote the dialogs' pictures to $out"
