#!/bin/sh
# Runs a test program on a private X server with a real tray host (trayer), as a desktop would
# have; the server and the tray go when the program ends.
set -eu
display=""
for n in $(seq 91 160); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
[ -n "$display" ] || { echo "on-xvfb: no free display" >&2; exit 1; }
Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
tray=""
cleanup() { [ -n "$tray" ] && kill "$tray" 2>/dev/null; kill "$xvfb" 2>/dev/null; wait 2>/dev/null || true; }
trap cleanup EXIT INT TERM
export DISPLAY=":$display"
i=0
until xdpyinfo >/dev/null 2>&1; do i=$((i + 1)); [ $i -lt 100 ] || { echo "on-xvfb: Xvfb did not start" >&2; exit 1; }; sleep 0.1; done
# No session bus: the tray icon is the XEmbed one that trayer hosts.
unset DBUS_SESSION_BUS_ADDRESS
trayer --edge top --align right --widthtype pixel --width 160 --height 24 --SetDockType true >/dev/null 2>&1 &
tray=$!
i=0
until xwininfo -root -tree 2>/dev/null | grep -q '"panel"'; do i=$((i + 1)); [ $i -lt 100 ] || { echo "on-xvfb: trayer did not start" >&2; exit 1; }; sleep 0.1; done
export QT_QPA_PLATFORM=xcb
# libxkbcommon-x11 hands strndup a keymap name that is not NUL-terminated within its bound, which the
# strict string checks of the sanitizer report although strndup never reads past n bytes.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:strict_string_checks=0"
"$@"
