#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, or the packages named as
# arguments (scripts/cross.sh names those of a unit's architecture). Run as root on Debian;
# packages already present are not touched, so a prepared machine pays nothing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  libudev-dev nlohmann-json3-dev libssl-dev libmicrohttpd-dev
  srecord
  xvfb xauth libx11-dev
  qt6-base-dev qt6-qpa-plugins libgl-dev fonts-liberation
  clang libclang-rt-dev clang-format
  help2man debootstrap imagemagick xdotool
  # systemd-analyze rates the station service's exposure in the package test.
  systemd
  zsh
  # The station's page in a real browser, and a real Prometheus scraping its metrics.
  chromium chromium-driver python3-selenium prometheus
)
[ "$#" -eq 0 ] || packages=("$@")

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$package")
  fi
done

if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: these packages are missing and need root to install: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get -o DPkg::Lock::Timeout=600 update -q
# A package of another architecture must match this machine's package of the same name; never
# let that remove one of this machine's packages (its own Qt, compilers) to make room.
removals=$(apt-get install -s -q --no-install-recommends "${missing[@]}" | grep '^Remv' || true)
if [ -n "$removals" ]; then
  printf 'install-deps: installing %s would remove these, so nothing is installed:\n%s\n' \
    "${missing[*]}" "$removals" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
