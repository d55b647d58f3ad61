#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through ctest; the window tests run on
# Qt's offscreen platform.
#
#   ./test.sh [CTEST_ARGS...]             the release build in build/, benchmarks included
#   ./test.sh --sanitize [CTEST_ARGS...]  a build of its own in build-sanitize/ with the address
#                                         and undefined-behaviour sanitizers; any report fails
set -euo pipefail

sanitize=0
if [ "${1:-}" = "--sanitize" ]; then
  sanitize=1
  shift
fi

if [ "$sanitize" -eq 1 ]; then
  export NOCTURO_BUILD="${NOCTURO_BUILD:-$(cd "$(dirname "$0")" && pwd)/build-sanitize}"
fi
source "$(dirname "$0")/scripts/setup.sh"

# jq: the command-line tests read JSON; exiftool and exiv2 judge the EXIF blocks we write; the
# install and package tests use the packaging tools.
nocturo_install_missing jq libimage-exiftool-perl exiv2 "${NOCTURO_PACKAGING_PACKAGES[@]}"

launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

if [ "$sanitize" -eq 1 ]; then
  # The sanitizers also run while the build lists the GoogleTest cases, so they are set first.
  export ASAN_OPTIONS="detect_leaks=1:strict_init_order=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  export LSAN_OPTIONS="suppressions=$NOCTURO_ROOT/tests/lsan.supp:print_suppressions=0"
  # -O1 keeps the stacks readable and builds faster; the benchmarks mean nothing here.
  nocturo_build "${launcher[@]}" -DNOCTURO_SANITIZE=ON -DNOCTURO_BUILD_TESTS=ON -DNOCTURO_BUILD_BENCH=OFF \
    -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g"
else
  nocturo_build "${launcher[@]}" -DNOCTURO_BUILD_TESTS=ON -DNOCTURO_BUILD_BENCH=ON
fi

export QT_QPA_PLATFORM=offscreen
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
chmod 700 "$XDG_RUNTIME_DIR"
cd "$NOCTURO_BUILD"
ctest --output-on-failure -j"$(nproc)" "$@"
