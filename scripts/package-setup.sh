#!/usr/bin/env bash
# Installs the Debian 12 packages that building and checking the Debian
# package needs, on top of those of setup.sh: dpkg-shlibdeps and `file` for
# CPack's dependency search, lintian, desktop-file-validate, and man for
# `man -w`. Safe to run again: it installs only what is missing.
set -euo pipefail

packages=(dpkg-dev file lintian desktop-file-utils man-db help2man)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
