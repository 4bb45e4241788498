#!/usr/bin/env bash
# Installs the dependencies, builds everything and runs every test: model tests,
# command-line tests and window tests (under a virtual X display).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
JOBS=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$JOBS"
export MORVANE_INI="$PWD/build/test-morvane.ini"   # never touch a real settings file
xvfb-run -a -s "-screen 0 1280x1024x24" \
  ctest --test-dir build --output-on-failure -j "$JOBS" --timeout 600

# sanitizer build of the model tests, and a short run of every fuzz target
if [ -x scripts/sanitize-and-fuzz.sh ]; then
  ./scripts/sanitize-and-fuzz.sh
fi
