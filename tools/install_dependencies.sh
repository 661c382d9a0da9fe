#!/usr/bin/env bash
# Installs what building, testing and running the helper need (Debian packages).
set -euo pipefail

# Clang, GNUstep's Foundation, the GNU Objective-C runtime headers and the
# blocks runtime (and python3) serve the compile check of the macOS build.
packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libpulse-dev
  pulseaudio pulseaudio-utils clang-19 gobjc libgnustep-base-dev libblocksruntime-dev python3)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
