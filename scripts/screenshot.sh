#!/usr/bin/env bash
# Starts Morvane on FILE, accepts its channel selection with the defaults, writes a
# picture of the main window to OUT.png and quits. Without a display it runs under a
# virtual X server. Further arguments go to the program, for example --size 1280x960
# or --ask-screenshot ASK.png (the selection dialog before it is accepted).
#   scripts/screenshot.sh FILE OUT.png [ARGS...]
# MORVANE_BUILD names the build folder (default: build).
set -euo pipefail
if [ $# -lt 2 ]; then
  echo "usage: $0 FILE OUT.png [ARGS...]" >&2
  exit 2
fi
FILE=$1
OUT=$2
shift 2
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD=${MORVANE_BUILD:-$ROOT/build}
EXE="$BUILD/morvane"
if [ ! -x "$EXE" ]; then
  echo "screenshot: $EXE is missing; build it first (cmake --build $BUILD --target morvane)" >&2
  exit 1
fi
CMD=("$EXE" "$FILE" --screenshot "$OUT" "$@")
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "${CMD[@]}"
fi
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "screenshot: no display and no xvfb-run (install the package xvfb)" >&2
  exit 1
fi
exec xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb "${CMD[@]}"
