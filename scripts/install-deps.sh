#!/usr/bin/env bash
# Installs, from Debian 12's packages, everything Kalvo needs to build, run and test.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config git clang-format
  qt6-base-dev qt6-multimedia-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libsqlite3-dev libcurl4-openssl-dev libsndfile1-dev libsamplerate0-dev
  libespeak-ng-dev espeak-ng-data libre-dev librem-dev
  # run
  espeak-ng sqlite3 pulseaudio pulseaudio-utils xdg-utils iproute2
  # test peers and tools (mgetty-voice: an independent client of the modem simulator)
  mgetty-voice
  baresip-core kamailio python3-aiosmtpd openssl sox xvfb xauth procps dbus-daemon python3-dbus python3-gi
  trayer xdotool x11-utils
  # release: icons, package and its checks
  librsvg2-bin python3-markdown dpkg-dev file desktop-file-utils appstream groff-base man-db imagemagick
  # a FAT file system without root mounts, for the messages-folder move
  dosfstools fusefat
  # Wayland and desktop notifications: Qt's Wayland platform; for the tests a notification service
  # (dunst, with dunstctl) and a headless compositor with its screenshot client (weston)
  qt6-wayland dunst weston
  # the SIP line over the internet: TLS for its account, kamailio's TLS module for its tests
  libssl-dev kamailio-tls-modules
  # the private web page: Qt's HTTP server (it needs the WebSockets package to be found) and a QR
  # code of its address; a real browser for its test
  qt6-httpserver-dev qt6-websockets-dev libqrencode-dev chromium chromium-driver python3-selenium
  # the SIP line behind a router: the NAT test's masquerading router (run as root)
  nftables
)

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ] || [ "${CI:-}" = true ]; then
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update
  "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${packages[@]}"
fi
