#!/usr/bin/env bash
# Runs one of the quality scripts with a Python that has numpy, SciPy,
# scikit-image and Pillow: TESSERA_PYTHON if set, else the python3 on PATH if
# it has them, else Debian's own python3 (a python3 of a version manager that
# comes first on PATH usually lacks Debian's modules).
#
# Usage: bench/quality/run.sh fetch.py|quality.py|sheet.py|test_metrics.py [ARGS...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
[ $# -ge 1 ] || { sed -n 's/^# Usage: //p' "$0" >&2; exit 2; }
script="$1"
shift
case "$script" in
  */*) ;;
  *) script="$here/$script" ;;
esac
check='import numpy, scipy, skimage, PIL'
py="${TESSERA_PYTHON:-}"
if [ -z "$py" ]; then
  for candidate in python3 /usr/bin/python3; do
    if command -v "$candidate" >/dev/null && "$candidate" -c "$check" 2>/dev/null; then
      py="$candidate"
      break
    fi
  done
fi
[ -n "$py" ] || { echo "no python3 with numpy, scipy, skimage and PIL: run bash bench/quality/setup.sh" >&2; exit 2; }
exec "$py" "$script" "$@"
