#!/usr/bin/env bash
# Installs the Debian 12 packages that building and checking the Debian
# package needs, on top of those of setup.sh: dpkg-shlibdeps and `file` for
# CPack's dependency search, lintian, desktop-file-validate, and man for
# `man -w`. Safe to run again: it installs only what is missing.
set -euo pipefail

exec bash "$(dirname "$0")/setup.sh" dpkg-dev file lintian desktop-file-utils man-db
