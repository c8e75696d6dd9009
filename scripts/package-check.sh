#!/usr/bin/env bash
# Builds the Release package and checks it as a user gets it: the validators, the screenshots, a
# real install, the programs from PATH, the installed Kalvo answering and recording a baresip call
# on a loopback SIP line, and a removal that leaves nothing behind. Prints a summary with the
# package size, install time, start time and build time.
# usage: scripts/package-check.sh [--extract]
#   --extract  unpack the package into a private folder instead of installing it (no root needed)
set -euo pipefail
cd "$(dirname "$0")/.."
mode=install
[ "${1:-}" = "--extract" ] && mode=extract
build=${KALVO_PACKAGE_BUILD:-build-release}
work=$(mktemp -d)
pids=()
summary=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }
note() { summary+=("$*"); echo "package-check: $*"; }
report() {
  echo "==== package check ===="
  for line in "${summary[@]}"; do echo "  $line"; done
}
fail() {
  echo "package-check: FAILED: $*" >&2
  summary+=("FAILED: $*")
  report
  exit 1
}
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

# The Release build (no tests, no benchmarks) and its package.
start=$(now)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKALVO_BUILD_TESTS=OFF -DKALVO_BUILD_BENCH=OFF \
  "${launcher[@]}" >/dev/null
cmake --build "$build"
note "release build: $(since "$start") s"
rm -f "$build"/kalvo_*.deb
(cd "$build" && cpack -G DEB >/dev/null) || fail "cpack"
deb=$(ls "$build"/kalvo_*.deb)
note "package: $(basename "$deb"), $(du -k "$deb" | cut -f1) KiB"
echo "package-check: depends: $(dpkg-deb -f "$deb" Depends)"
[ "$(dpkg-deb -f "$deb" Package)" = kalvo ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = 1.0.0.22 ] || fail "package version"
dpkg-deb -f "$deb" Depends | grep -q 'libqt6widgets6' || fail "no shared-library dependencies in Depends"

# Validators.
desktop-file-validate data/desktop/kalvo.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net "$build"/data/*.metainfo.xml >"$work/appstream.txt" 2>&1 ||
  { cat "$work/appstream.txt"; fail "appstreamcli validate"; }
for page in docs/man/*.1; do
  warnings=$(groff -ww -man -z "$page" 2>&1)
  [ -z "$warnings" ] || { echo "$warnings"; fail "groff warnings in $page"; }
done
bash scripts/help-page.sh --check >/dev/null || fail "the help page is older than docs/USER_GUIDE.md"
note "validators: desktop entry, metainfo, $(ls docs/man/*.1 | wc -l) manual pages, help page up to date"

# The pictures of the real window, into a scratch folder so the committed ones stay.
bash scripts/screenshots.sh "$build" "$work/shots" >/dev/null || fail "screenshots"
note "screenshots: $(ls "$work/shots" | wc -l) pictures taken"

# Install.
if [ "$mode" = install ]; then
  start=$(now)
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y "./$deb" >"$work/apt.txt" 2>&1 ||
    { cat "$work/apt.txt"; fail "apt-get install"; }
  note "install: $(since "$start") s"
  hash -r
  files=$(dpkg -L kalvo)
  prefix=/usr
else
  dpkg-deb -x "$deb" "$work/root"
  prefix="$work/root/usr"
  export PATH="$prefix/bin:$PATH"
  files=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
  note "install: skipped (--extract: unpacked into a private folder)"
fi
for f in /usr/bin/kalvo /usr/bin/kalvo-line /usr/bin/kalvo-reg /usr/lib/kalvo/Sayer /usr/lib/kalvo/libkorvan.so \
  /usr/share/applications/kalvo.desktop /usr/share/icons/hicolor/scalable/apps/kalvo.svg \
  /usr/share/icons/hicolor/48x48/apps/kalvo.png /usr/share/kalvo/Help/index.htm /usr/share/man/man1/kalvo.1.gz; do
  grep -qx "$f" <<<"$files" || fail "the package lacks $f"
done
[ "$(command -v kalvo)" = "$prefix/bin/kalvo" ] || fail "kalvo is not the installed one on PATH"
for page in "$prefix"/share/man/man1/kalvo*.1.gz; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "$warnings"; fail "man -l warns about $page"; }
done

# The programs from PATH, in a private home.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen KALVO_MESSAGEBOX=stderr
unset KALVO_HOME KALVO_REGISTRY_DIR KALVO_TELEPHONY_CONF DBUS_SESSION_BUS_ADDRESS ASAN_OPTIONS LSAN_OPTIONS
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$XDG_CONFIG_HOME/kalvo" && chmod 700 "$XDG_RUNTIME_DIR"
[ "$(kalvo --version)" = "Kalvo 1.0.0.22" ] || fail "kalvo --version"
kalvo-reg --help >/dev/null || fail "kalvo-reg --help"
kalvo-reg add 'HKLM\SOFTWARE\Kalvo' /v NumOfRing /t REG_SZ /d 1 || fail "kalvo-reg add"
[ "$(kalvo-reg query 'HKLM\SOFTWARE\Kalvo' /v NumOfRing | grep -c NumOfRing)" -ge 1 ] || fail "kalvo-reg query"

free_port() { # a UDP and TCP port on 127.0.0.1 nobody holds, outside the ephemeral range
  /usr/bin/python3 - "$@" <<'PY'
import random, socket, sys
taken = set(int(a) for a in sys.argv[1:])
for _ in range(1000):
    port = random.randrange(21000, 30000)
    if port in taken:
        continue
    try:
        for kind in (socket.SOCK_DGRAM, socket.SOCK_STREAM):
            s = socket.socket(socket.AF_INET, kind)
            s.bind(("127.0.0.1", port))
            s.close()
    except OSError:
        continue
    print(port)
    break
PY
}
sip=$(free_port)
cons=$(free_port "$sip")
caller=$(free_port "$sip" "$cons")
printf '[Line0]\nname = SIP Line\nprovider = sip\nlisten = 127.0.0.1:%s\nring_interval = 0.5\nrtp_ports = 40000-44998\n' \
  "$sip" >"$XDG_CONFIG_HOME/kalvo/telephony.conf"
kalvo-line list >"$work/lines.txt" 2>&1 || { cat "$work/lines.txt"; fail "kalvo-line list"; }
grep -q "SIP Line" "$work/lines.txt" || { cat "$work/lines.txt"; fail "kalvo-line list shows no SIP line"; }
note "from PATH: kalvo --version, kalvo-reg, kalvo-line list"

# The installed program, started as at login, answers a call from baresip and records it.
start=$(now)
kalvo -st >"$work/kalvo.txt" 2>&1 &
kalvo_pid=$!
pids+=("$kalvo_pid")
for _ in $(seq 300); do
  ss -Hlun "sport = :$sip" | grep -q . && break
  kill -0 "$kalvo_pid" 2>/dev/null || { cat "$work/kalvo.txt"; fail "kalvo -st ended"; }
  sleep 0.05
done
ss -Hlun "sport = :$sip" | grep -q . || { cat "$work/kalvo.txt"; fail "kalvo did not listen on $sip"; }
note "start: $(since "$start") s until the installed kalvo -st listens on its SIP line"

mkdir -p "$work/baresip/dump"
# Silent through the seeded greeting (11.4 s) and the beep, then a tone to record.
sox -n -r 8000 -c 1 -b 16 "$work/baresip/voice.wav" synth 13 sine 700 vol 0 : synth 15 sine 700 vol 0.3
cat >"$work/baresip/config" <<CONF
poll_method epoll
sip_listen 127.0.0.1:$caller
audio_source aufile,$work/baresip/voice.wav
audio_alert aufile,$work/baresip/voice.wav
module_path /usr/lib/baresip/modules
module cons.so
module g711.so
module aufile.so
module sndfile.so
module_tmp account.so
module_app menu.so
cons_listen 127.0.0.1:$cons
snd_path $work/baresip/dump
rtp_ports 45000-49998
CONF
echo '"Bob" <sip:bob@127.0.0.1>;regint=0' >"$work/baresip/accounts"
timeout 120 baresip -f "$work/baresip" -n 127.0.0.1 >"$work/baresip/log" 2>&1 &
pids+=($!)
wait_for() { # wait_for SECONDS WHAT COMMAND...: retries until the command succeeds
  local limit=$1 what=$2; shift 2
  for _ in $(seq $((limit * 10))); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  cat "$work/kalvo.txt" >&2
  grep -v "audio=" "$work/baresip/log" >&2
  cat "${XDG_DATA_HOME:-/nonexistent}"/kalvo/Log/*_Sys.txt >&2 2>/dev/null || true
  fail "timed out waiting for $what"
}
wait_for 10 "baresip" grep -q "baresip is ready" "$work/baresip/log"
printf '/dial sip:kalvo@127.0.0.1:%s\n' "$sip" >"/dev/udp/127.0.0.1/$cons"
folder="$XDG_DATA_HOME/kalvo"
wait_for 40 "the recording" grep -qs " : Start Record Message" "$folder"/Log/*_Sys.txt
sleep 3
printf 'b' >"/dev/udp/127.0.0.1/$cons"
stored() { [ "$(sqlite3 "$folder/Calls/calls.sqlite3" "SELECT count(*) FROM Calls WHERE Type <> '-1'")" = 1 ]; }
wait_for 20 "the stored call" stored
message=$(sqlite3 "$folder/Calls/calls.sqlite3" "SELECT Call_Massage_Name FROM Calls")
[ "$(stat -c %s "$folder/Messages/$message")" -gt 16000 ] || fail "the message $message is too short"
rms=$(sox "$folder/Messages/$message" -n stat 2>&1 | awk '/RMS +amplitude/ {print $3}')
awk -v r="$rms" 'BEGIN { exit !(r > 0.05) }' || fail "the message does not hold the caller's tone (RMS $rms)"
grep -q "Bob" <(sqlite3 "$folder/Calls/calls.sqlite3" "SELECT Call_Name FROM Calls") || fail "caller name"
grep -qx "Exec=$prefix/bin/kalvo -st" "$XDG_CONFIG_HOME/autostart/kalvo.desktop" ||
  fail "the start-with-login entry does not name the installed kalvo"
kill -TERM "$kalvo_pid"
wait_for 15 "kalvo to end" bash -c "! kill -0 $kalvo_pid"
grep -qs "Unload Kalvo" "$folder"/Log/*_Sys.txt || fail "no \"Unload Kalvo\" in the system log"
note "call: answered, recorded $(stat -c %s "$folder/Messages/$message") bytes (RMS $rms) as $message, stored and logged"

# Removal: every file of the package is gone; what is left is the user's own folders.
if [ "$mode" = install ]; then
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get remove --purge -y kalvo >"$work/apt.txt" 2>&1 ||
    { cat "$work/apt.txt"; fail "apt-get remove"; }
  ! dpkg -s kalvo >/dev/null 2>&1 || fail "kalvo is still known to dpkg"
  left=()
  while read -r f; do
    [ -n "$f" ] && [ -e "$f" ] && [ ! -d "$f" ] && left+=("$f")
  done <<<"$files"
  for d in /usr/lib/kalvo /usr/share/kalvo /usr/share/doc/kalvo; do [ -e "$d" ] && left+=("$d"); done
  [ "${#left[@]}" -eq 0 ] || fail "left after removal: ${left[*]}"
  note "removal: nothing of the package left; the user's files stay in \$HOME"
fi
report
