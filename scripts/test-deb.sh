#!/usr/bin/env bash
# Builds the Debian package, installs it on this machine with apt-get, checks what it
# installed (morvane-cli converts and processes the demo scan, /usr/bin/python3 imports
# morvane from Debian's package folder and agrees with morvane-cli, the application
# opens the demo under a virtual X server and writes a screenshot) and uninstalls it.
#   scripts/test-deb.sh            (as root, or with sudo)
# MORVANE_BUILD names the build folder (default: build); it is configured when missing.
# The screenshot of the installed application is kept as BUILD/deb-screenshot.png.
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD=${MORVANE_BUILD:-$ROOT/build}
JOBS=$(nproc 2>/dev/null || echo 2)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then SUDO="sudo"; else
    echo "test-deb: installing a package needs root or sudo" >&2; exit 1; fi
fi
if dpkg-query -W -f='${Status}' morvane 2>/dev/null | grep -q 'install ok installed'; then
  echo "test-deb: a morvane package is installed already; remove it first (apt-get remove morvane)" >&2
  exit 1
fi

step() { printf 'test-deb: %s\n' "$*"; }
fail() { printf 'test-deb: FAILED: %s\n' "$*" >&2; exit 1; }

# ---------------------------------------------------------------- build the package
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
for opt in MORVANE_GUI MORVANE_PYTHON; do
  if grep -q "^$opt:BOOL=OFF" "$BUILD/CMakeCache.txt"; then
    fail "$BUILD is configured with -D$opt=OFF; the package holds the application and the Python module"
  fi
done
step "building"
cmake --build "$BUILD" -j "$JOBS" --target morvane morvane-cli morvane_python morvane_python_files
PKGDIR="$BUILD/package"
rm -rf "$PKGDIR"
step "packaging"
(cd "$BUILD" && cpack -G DEB -B "$PKGDIR" >/dev/null)
DEBS=("$PKGDIR"/morvane_*.deb)
[ -f "${DEBS[0]}" ] || fail "no morvane_*.deb in $PKGDIR"
DEB=${DEBS[0]}
step "$(basename "$DEB"): $(dpkg-deb -f "$DEB" Depends)"

# ---------------------------------------------------------------- install
WORK=$(mktemp -d)
installed=0
cleanup() {
  if [ "$installed" -eq 1 ]; then
    step "uninstalling"
    $SUDO env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 remove -y -qq --purge morvane >/dev/null || true
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

step "installing"
cp "$DEB" "$WORK/"
installed=1
(cd "$WORK" && $SUDO env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends \
   "./$(basename "$DEB")" >/dev/null)
for f in /usr/bin/morvane /usr/bin/morvane-cli /usr/share/applications/org.morvane.Morvane.desktop \
         /usr/share/metainfo/org.morvane.Morvane.metainfo.xml /usr/share/icons/hicolor/scalable/apps/morvane.svg \
         /usr/share/morvane/manual/index.html /usr/share/man/man1/morvane-cli.1; do
  [ -e "$f" ] || fail "$f is not installed"
done
desktop-file-validate /usr/share/applications/org.morvane.Morvane.desktop || fail "desktop entry"
appstreamcli validate --no-net /usr/share/metainfo/org.morvane.Morvane.metainfo.xml >/dev/null || fail "AppStream data"
man -w morvane-cli >/dev/null 2>&1 || [ -f /usr/share/man/man1/morvane-cli.1 ] || fail "no man page"

# the installed programs only: no build tree on any path
cd "$WORK"
export PATH=/usr/bin:/bin
unset PYTHONPATH PYTHONHOME
export MORVANE_INI="$WORK/morvane.ini"

step "morvane-cli"
/usr/bin/morvane-cli demo "$WORK/demo" || fail "morvane-cli demo"
/usr/bin/morvane-cli info "$WORK/demo/demo.txt" >"$WORK/info.json" || fail "morvane-cli info"
/usr/bin/morvane-cli convert "$WORK/demo/demo.txt" "$WORK/demo.bmp" --channel 2 || fail "morvane-cli convert"
mkdir "$WORK/cli" "$WORK/py"
/usr/bin/morvane-cli process "$WORK/demo/demo.txt" "$WORK/cli/flat.txt" --op level:2Dim:1 --op median --data sin \
  || fail "morvane-cli process"

step "python3 -c 'import morvane'"
/usr/bin/python3 -c "import morvane" || fail "import morvane"
/usr/bin/python3 - "$WORK" <<'EOF' || fail "the installed Python module"
import json, sys
import morvane
work = sys.argv[1]
assert morvane.__file__.startswith("/usr/lib/python3/dist-packages/morvane/"), morvane.__file__
images = morvane.open(work + "/demo/demo.txt")
info = json.load(open(work + "/info.json"))
assert [i.caption for i in images] == [c["caption"] for c in info["channels"]]
morvane.process(images[0], "level:2Dim:1", "median").save(work + "/py/flat.txt", data="sin")
for name in ("flat.txt", "flat.sin"):
    assert open(work + "/cli/" + name, "rb").read() == open(work + "/py/" + name, "rb").read(), name
EOF

step "morvane under xvfb-run"
command -v xvfb-run >/dev/null || fail "xvfb-run is missing (package xvfb)"
timeout 120 xvfb-run -a -s "-screen 0 1280x1024x24" \
  /usr/bin/morvane "$WORK/demo/demo.txt" --screenshot "$WORK/shot.png" || fail "the application did not run"
[ -s "$WORK/shot.png" ] || fail "no screenshot written"
cp "$WORK/shot.png" "$BUILD/deb-screenshot.png"

cd "$ROOT"
step "passed ($(basename "$DEB"), screenshot in $BUILD/deb-screenshot.png)"
