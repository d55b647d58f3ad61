#!/usr/bin/env bash
# Installs what is missing, builds, and starts Nocturo.
set -euo pipefail
source "$(dirname "$0")/scripts/setup.sh"

nocturo_install_missing
nocturo_build -DNOCTURO_BUILD_TESTS=OFF -DNOCTURO_BUILD_BENCH=OFF

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  cat >&2 <<MSG
There is no display (neither DISPLAY nor WAYLAND_DISPLAY is set), so Nocturo cannot open its window.
Nocturo is built: $NOCTURO_BUILD/nocturo
To run it on a virtual X display:
  sudo apt-get install -y xvfb xauth
  xvfb-run -s "-screen 0 1600x900x24" ./run.sh
MSG
  exit 1
fi
exec "$NOCTURO_BUILD/nocturo"
