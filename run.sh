#!/usr/bin/env bash
# Installs the dependencies, builds Morvane and starts it on the bundled demo scan.
# Without a display it runs under a virtual X server and writes a screenshot of the
# main window to build/screenshot.png.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
JOBS=$(nproc 2>/dev/null || echo 2)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$JOBS"

DEMO=build/demo/demo.txt
if [ -x build/morvane ]; then
  if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec build/morvane "$DEMO"
  fi
  exec ./scripts/screenshot.sh "$DEMO" build/screenshot.png
fi
build/morvane-cli info "$DEMO"
