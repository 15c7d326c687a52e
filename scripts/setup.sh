#!/usr/bin/env bash
# Installs the Debian packages that Vek Voxa needs to build, test, benchmark and fuzz.
# Packages that are already installed are skipped; nothing is downloaded then.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libglm-dev libstb-dev
  libegl-dev libgl-dev libegl-mesa0 libgl1-mesa-dri libgbm1
  libfreetype-dev libfontconfig-dev fonts-liberation2
  libassimp-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
