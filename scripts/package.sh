#!/usr/bin/env bash
# Builds the Debian package nocturo_<version>_amd64.deb in a build folder of its own,
# build-package/ (or $NOCTURO_PACKAGE_BUILD): installs the missing Debian packages, builds only
# what the package holds, without tests or benchmarks, and runs cpack there.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
build="${NOCTURO_PACKAGE_BUILD:-$NOCTURO_ROOT/build-package}"

nocturo_install_missing "${NOCTURO_PACKAGING_PACKAGES[@]}"
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S "$NOCTURO_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNOCTURO_BUILD_TESTS=OFF \
  -DNOCTURO_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target nocturo nocturo-cli nocturo_install_data
cd "$build"
cpack -G DEB
