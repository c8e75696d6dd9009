#!/usr/bin/env bash
# Takes the README's and the help page's pictures from the real program on a private X server with a
# tray host: the main window after a call, the tray menu and the about box. Fails when a window it
# expects does not appear.
# usage: scripts/screenshots.sh [BUILD_DIR] [OUTPUT_DIR]   (KALVO_SCREEN=1024x600: another screen)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs/images}
kalvo="$build/bin/kalvo"
[ -x "$kalvo" ] || { echo "screenshots: no $kalvo; build first" >&2; exit 1; }
mkdir -p "$out"
work=$(mktemp -d)
display=""
for n in $(seq 161 220); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
done
pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; wait 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
Xvfb ":$display" -screen 0 "${KALVO_SCREEN:-1024x768}x24" -nolisten tcp >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=":$display"
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
unset DBUS_SESSION_BUS_ADDRESS
trayer --edge top --align right --widthtype pixel --width 160 --height 24 >/dev/null 2>&1 &
pids+=($!)

# A private home with one simulated line that brings two calls.
export KALVO_HOME="$work/home" KALVO_REGISTRY_DIR="$work/registry" XDG_CONFIG_HOME="$work/config"
export XDG_RUNTIME_DIR="$work/runtime" KALVO_TELEPHONY_CONF="$work/telephony.conf" KALVO_MESSAGEBOX=stderr
export ASAN_OPTIONS=detect_leaks=0 QT_QPA_PLATFORM=xcb
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
sox -n -r 8000 -c 1 -b 16 "$work/caller.wav" synth 2 sine 440 vol 0.3
cat >"$work/calls.txt" <<CALLS
2 offer number=5550142 name="Ada Lovelace"
+0.2 ring 4
+1 audio $work/caller.wav
+3 hangup
+2 offer number=5550199 name="Grace Hopper"
+0.2 ring 4
+2 hangup
CALLS
printf '[Line0]\nname = SIP Line\nprovider = sim\naudio = fast\nscenario = %s\n' "$work/calls.txt" >"$KALVO_TELEPHONY_CONF"
"$kalvo" >"$work/kalvo.log" 2>&1 &
pids+=($!)

wait_for() { # wait_for SECONDS COMMAND...: retries until the command succeeds
  local limit=$1; shift
  for _ in $(seq $((limit * 10))); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "screenshots: timed out waiting for: $*" >&2; cat "$work/kalvo.log" >&2; return 1
}
wait_for 30 xdotool search --onlyvisible --name '^Kalvo 1.0$'
window=$(xdotool search --onlyvisible --name '^Kalvo 1.0$' | head -n 1)
wait_for 40 grep -q "Grace Hopper" "$KALVO_HOME"/Log/*_Calls.txt
sleep 1
import -window "$window" "$out/main-window.png"

# open_menu STEPS KEYS...: opens the menu STEPS menus left of Help (wrapping round), then sends KEYS.
open_menu() {
  local steps=$1; shift
  eval "$(xdotool getwindowgeometry --shell "$window")"
  xdotool mousemove $((X + 314)) $((Y + 8)) click 1
  sleep 0.5
  for _ in $(seq "$steps"); do xdotool key Left; sleep 0.1; done
  xdotool key "$@"
}
shoot_dialog() { # shoot_dialog TITLE FILE: waits for the window and takes its picture
  wait_for 15 xdotool search --onlyvisible --name "^$1\$"
  local id
  id=$(xdotool search --onlyvisible --name "^$1\$" | head -n 1)
  sleep 1
  [ "$2" = - ] || import -window "$id" "$2"
  echo "$id"
}

# The greeting creator from Tools > Greeting Creator: its speaker page, then its text page.
open_menu 1 Return
creator=$(shoot_dialog "Greeting Creator" "$out/greeting-creator-speaker.png" | tail -n 1)
eval "$(xdotool getwindowgeometry --shell "$creator")"
xdotool mousemove $((X + WIDTH * 3 / 4)) $((Y + 22)) click 1
sleep 2
xdotool mousemove $((X + WIDTH / 2)) $((Y + 100)) click 1
xdotool type --delay 20 "Hello, this is Ada. Please leave a message after the tone."
sleep 0.5
import -window "$creator" "$out/greeting-creator-text.png"
xdotool key Escape
sleep 1

# The log viewer from File > Log with the first file (the calls log) shown, then its properties.
open_menu 6 Down Down Down Return
viewer=$(shoot_dialog "Kalvo - Log" - | tail -n 1)
eval "$(xdotool getwindowgeometry --shell "$viewer")"
xdotool mousemove $((X + 60)) $((Y + 66)) click 1
sleep 1
import -window "$viewer" "$out/log-viewer.png"
xdotool mousemove $((X + WIDTH - 50)) $((Y + HEIGHT - 22)) click 1
shoot_dialog "Log Properties" "$out/log-properties.png" >/dev/null
xdotool key Escape
sleep 0.5
xdotool key Escape

# The tray menu, from a right click on the icon at the panel's right end.
xdotool mousemove 1012 12 click 3
sleep 1
import -window root -crop 260x130+764+0 "$out/tray-menu.png"
xdotool key Escape

# The about box, from Help > About (the last item of the last menu).
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + 314)) $((Y + 8)) click 1
sleep 0.5
xdotool key Up Return
wait_for 10 xdotool search --onlyvisible --name '^About Kalvo$'
about=$(xdotool search --onlyvisible --name '^About Kalvo$' | head -n 1)
sleep 0.5
import -window "$about" "$out/about.png"
xdotool key Escape
echo "screenshots: wrote $out/main-window.png $out/tray-menu.png $out/about.png and the greeting creator and log pictures"
