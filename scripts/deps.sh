#!/usr/bin/env bash
# Installs the Debian packages the builds and tests need; installs only what is missing.
set -euo pipefail
packages=(build-essential cmake ninja-build pkg-config libavformat-dev libavcodec-dev libavutil-dev
  libswresample-dev libavfilter-dev libsdl2-dev libpugixml-dev libgtest-dev libbenchmark-dev ffmpeg
  clang clang-format libclang-rt-14-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest wine64 libwine
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly gstreamer1.0-libav
  python3 mono-mcs mono-runtime zip pulseaudio libpulse0 g++-multilib qemu-user)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
