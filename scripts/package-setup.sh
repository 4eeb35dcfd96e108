#!/usr/bin/env bash
# Installs the Debian 12 packages that checking the Debian package needs, on
# top of those of setup.sh (which brings `file` and, with build-essential,
# dpkg-shlibdeps for CPack's dependency search): lintian,
# desktop-file-validate, and man for `man -w`.
# Safe to run again: it installs only what is missing.
set -euo pipefail

exec bash "$(dirname "$0")/setup.sh" dpkg-dev lintian desktop-file-utils man-db
