#!/usr/bin/env bash
# Installs every Debian package Morvane needs to build, test, fuzz and run.
# Idempotent: packages already present are skipped, and nothing is printed then.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential g++ cmake pkg-config ninja-build git
  clang libclang-rt-14-dev
  # libraries of the model and the command-line tool
  libsimpleini-dev nlohmann-json3-dev libcli11-dev libstb-dev libjpeg-dev zlib1g-dev
  # Qt 6 desktop application
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-svg-dev
  libgl1-mesa-dev libglu1-mesa-dev libgl-dev mesa-utils libgl1-mesa-dri
  # tests and benchmarks
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  # rendering printed PDF pages in the window tests
  poppler-utils
  # benchmark comparison only (the program keeps its own Fourier transform)
  libfftw3-dev
  # the Python module and its tests (Debian's interpreter, /usr/bin/python3)
  python3-dev pybind11-dev python3-numpy python3-pytest
  # plotting images from Python (Image.plot; Pillow decodes pictures in its tests)
  python3-matplotlib python3-pil
  # batches on a Dask cluster (morvane.batch with a client, python3 -m morvane.batch --scheduler)
  python3-dask python3-distributed
  # the Debian package (cpack -G DEB with dpkg-shlibdeps) and its checks
  dpkg-dev file desktop-file-utils appstream
  # headless display for window tests and screenshots
  xvfb xauth fonts-dejavu-core
  # photographing the X screen in the window tests (import -window root)
  imagemagick
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
    echo "install-deps: need root or sudo to install: ${missing[*]}" >&2; exit 1; fi
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
