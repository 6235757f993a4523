#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the viewer need, when missing.
# Safe to run again: it does nothing when everything is there.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  libgtest-dev libjemalloc-dev
  libcsv-dev libarchive-dev libexpat1-dev libunistring-dev libxxhash-dev
  qt6-base-dev libqt6opengl6-dev qt6-svg-dev
  libgl-dev libglu1-mesa-dev freeglut3-dev libgl1-mesa-dri libegl-dev libegl-mesa0
  xvfb xauth desktop-file-utils
  chromium chromium-driver python3-selenium python3-html5lib
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "These packages are missing and this user cannot install them: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" </dev/null
