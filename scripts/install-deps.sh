#!/usr/bin/env bash
# Installs everything the build, the tests and the main job need on Debian 12.
# Safe to run again: packages already present are left as they are.
set -euo pipefail

export DEBIAN_FRONTEND=noninteractive

packages=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libtiff-dev libpng-dev nlohmann-json3-dev
  g++-mingw-w64-i686 g++-mingw-w64-i686-posix binutils-mingw-w64-i686 libz-mingw-w64-dev dpkg-dev llvm chromium
  wine wine32
  python3 python3-numpy python3-pytest python3-matplotlib python3-venv python3-pip python3-setuptools python3-wheel
  clang libfuzzer-14-dev
  libdcmtk-dev dcmtk dicom3tools libssl-dev libtiff-tools
  orthanc curl
  qemu-user
)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done

# A developer without root whose machine has everything needs no apt-get.
if [ "$(id -u)" -ne 0 ]; then
  if [ "${#missing[@]}" -gt 0 ]; then
    echo "install-deps.sh: not root, and these packages are missing: ${missing[*]}" >&2
    echo "install-deps.sh: install them (sudo apt-get install ...) or run this script as root" >&2
    exit 1
  fi
  echo "install-deps.sh: not root; every package is present, nothing to install"
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  need_update=1
fi

if [ "${#missing[@]}" -gt 0 ] || [ "${need_update:-0}" = 1 ]; then
  # Orthanc is only a peer that the tests start themselves on free ports: its
  # system service must not start on installation (invoke-rc.d asks
  # policy-rc.d, whose 101 means "not allowed"). A policy already in place
  # is kept as it is.
  policy=/usr/sbin/policy-rc.d
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' >"$policy"
    chmod 755 "$policy"
    trap 'rm -f "$policy"' EXIT
  fi
  # A mirror caught mid-sync fails an index now and then: try again a few
  # times, then go on with the indexes that did come. An update suite whose
  # i386 index is missing would offer amd64 libraries newer than their i386
  # twins, which multiarch cannot install side by side: then the release's
  # own suite is preferred.
  release=()
  for attempt in 1 2 3; do
    apt-get update -q -o Acquire::Retries=3 && break
    if [ "$attempt" = 3 ]; then
      codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
      echo "install-deps.sh: apt-get update kept failing; installing from the indexes at hand${codename:+, preferring $codename}" >&2
      [ -n "$codename" ] && release=(-t "$codename")
    else
      sleep $((attempt * 15))
    fi
  done
  apt-get install -y -q --no-install-recommends "${release[@]}" "${missing[@]}"
fi
