#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through ctest; the window tests run on
# Qt's offscreen platform.
set -euo pipefail
source "$(dirname "$0")/scripts/setup.sh"

nocturo_install_missing jq   # the command-line tests read JSON with jq
nocturo_build -DNOCTURO_BUILD_TESTS=ON -DNOCTURO_BUILD_BENCH=ON

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
cd "$NOCTURO_BUILD"
ctest --output-on-failure -j"$(nproc)" "$@"
