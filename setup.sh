#!/usr/bin/env bash
# Installs the Debian 12 packages Fyldra3 needs, only those missing.
#   ./setup.sh         what building and running need
#   ./setup.sh --test  and what the test suite needs too
set -euo pipefail

packages=(g++ cmake make libssl-dev qt6-base-dev qt6-translations-l10n fonts-ipafont-gothic libarchive-dev)
if [[ "${1:-}" == "--test" ]]; then
  packages+=(libgtest-dev libbenchmark-dev xvfb xauth x11-utils imagemagick file
             clang-14 libclang-rt-14-dev desktop-file-utils appstream dpkg-dev time man-db dbus-daemon
             devscripts lintian
             zip unzip p7zip-full genisoimage gcab cpio zstd python3)
fi

missing=()
for p in "${packages[@]}"; do
  if [[ "$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null)" != installed ]]; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ "$(id -u)" -ne 0 ]] && sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
