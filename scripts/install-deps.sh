#!/usr/bin/env bash
# Installs, with apt-get, only the Debian packages that are missing.
set -euo pipefail

packages=(
  cmake g++ make pkg-config git python3
  libgtest-dev
  qt6-base-dev libqt6opengl6-dev libgl-dev libxcb1-dev libxcb-shm0-dev
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev ffmpeg
  libsqlite3-dev
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libgstrtspserver-1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good
  libsecret-1-dev gnome-keyring dbus-daemon dbus-bin
  clang libclang-rt-14-dev
  xvfb xauth fonts-dejavu-core openbox x11-utils xdotool desktop-file-utils appstream
  libsoup-3.0-dev python3-prometheus-client gstreamer1.0-tools iproute2
  libgstreamer-plugins-bad1.0-dev gstreamer1.0-plugins-bad gstreamer1.0-nice gstreamer1.0-plugins-ugly
  gstreamer1.0-libav chromium nodejs
)
# npm comes with some nodejs packages (NodeSource's) and apart with Debian's.
command -v npm >/dev/null || packages+=(npm)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
