#!/usr/bin/env bash
# Installs every Debian package that building, testing, fuzzing and
# benchmarking lantern-wharf-kit need. Safe to run again: packages already
# present are left alone and the package lists are refreshed only when
# something is missing.
set -euo pipefail

packages=(
  cmake make g++
  clang-14 libclang-rt-14-dev
  libgtest-dev libgmock-dev
  libbenchmark-dev
  nlohmann-json3-dev
  python3 unicode-data pkgconf
  clang-format-14 clang-tidy-14
  util-linux diffutils passwd procps strace
  systemd dpkg-dev lintian man-db gzip
  debootstrap systemd-container
  libsystemd-dev dbus-daemon polkitd libxml2-utils
  libblocksruntime-dev
  desktop-file-utils appstream
  qt6-base-dev qt6-svg-dev libqt6svg6 qt6-qpa-plugins
  xvfb xauth fonts-dejavu-core
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
