#!/usr/bin/env bash
# Shared set-up of run.sh and test.sh: installs the Debian packages that are missing (only
# then, non-interactively, through sudo when not root) and configures and builds into build/.
set -euo pipefail

NOCTURO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
NOCTURO_BUILD="${NOCTURO_BUILD:-$NOCTURO_ROOT/build}"

NOCTURO_PACKAGES=(
  cmake g++ make pkg-config
  qt6-base-dev qt6-qpa-plugins
  libjpeg-dev libturbojpeg0-dev libstb-dev
  libisal-dev zlib1g-dev        # the PNG writer's compressor; zlib joins its parts' check values
  libgtest-dev libbenchmark-dev
  fonts-ipafont-gothic          # kanji and half-width katakana for the interface and the strip
  librsvg2-bin                  # the menu icon's PNG sizes are drawn from its SVG at build time
)

# What the checks of the install tree and of the Debian package use (test.sh).
NOCTURO_PACKAGING_PACKAGES=(
  dpkg-dev file fakeroot        # cpack's DEB generator: dpkg-shlibdeps finds the library packages
  desktop-file-utils appstream  # validators of the menu entry and of the AppStream metadata
  lintian
)

nocturo_install_missing() {
  local missing=()
  local p
  for p in "${NOCTURO_PACKAGES[@]}" "$@"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$p")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing missing packages: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null 2>&1; then
      sudo=(sudo)
    else
      echo "These packages are missing and there is no sudo to install them: ${missing[*]}" >&2
      exit 1
    fi
  fi
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

nocturo_build() {
  cmake -S "$NOCTURO_ROOT" -B "$NOCTURO_BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$NOCTURO_BUILD" -j"$(nproc)"
}
