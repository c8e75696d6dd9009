#!/bin/sh
# Runs a test program as a client of a private Wayland compositor: weston with its headless back-end
# and the CPU renderer on a private runtime folder (--debug lets weston-screenshooter take pictures).
# There is no X server and no session bus, so no tray and no notification service either.
set -eu
runtime=$(mktemp -d)
weston=""
cleanup() { [ -n "$weston" ] && kill "$weston" 2>/dev/null; wait 2>/dev/null || true; rm -rf "$runtime"; }
trap cleanup EXIT INT TERM
XDG_RUNTIME_DIR="$runtime" weston --backend=headless-backend.so --use-pixman --width=1024 --height=768 \
  --socket=kalvo-test --no-config --idle-time=0 --debug --log="$runtime/weston.log" &
weston=$!
i=0
until [ -S "$runtime/kalvo-test" ]; do i=$((i + 1)); [ $i -lt 150 ] || { echo "on-weston: weston did not start" >&2; cat "$runtime/weston.log" >&2; exit 1; }; sleep 0.1; done
# An absolute socket path: tests give their programs runtime folders of their own.
export XDG_RUNTIME_DIR="$runtime" WAYLAND_DISPLAY="$runtime/kalvo-test" QT_QPA_PLATFORM=wayland
unset DISPLAY DBUS_SESSION_BUS_ADDRESS
# Qt's Wayland plugin is built without frame pointers: full stacks let its leaks be told apart.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}:fast_unwind_on_malloc=0"
"$@"
