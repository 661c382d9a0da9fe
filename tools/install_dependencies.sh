#!/usr/bin/env bash
# Installs what building, testing and running the helper need (Debian packages).
set -euo pipefail

# dpkg-dev and file: cpack's Debian package with computed dependencies; lintian:
# its check; procps: ps and pgrep for the tests; nodejs and python3: the
# clients' tests; python3-venv, -pip, -setuptools and -wheel: the Python client
# installed with pip and no package index; clang-14 and libclang-rt-14-dev: the
# fuzz targets; clang-19, GNUstep's Foundation, the GNU Objective-C runtime
# headers and the blocks runtime: the compile check of the macOS build.
packages=(cmake g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev libpulse-dev
  pulseaudio pulseaudio-utils procps dpkg-dev file lintian nodejs python3 python3-venv python3-pip
  python3-setuptools python3-wheel clang-14 libclang-rt-14-dev clang-19 gobjc
  libgnustep-base-dev libblocksruntime-dev)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
# npm packs the Node client. Debian's nodejs comes without it; a nodejs that
# brings its own conflicts with Debian's npm.
command -v npm >/dev/null || missing+=(npm)
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
