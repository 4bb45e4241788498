#!/bin/sh
# The batch run of morvane-cli: N copies of the demo scan (default 200) through a
# three-operation pipeline with --out-dir, timed by the tool's own summary line.
# Usage: scripts/bench-batch.sh [BUILD_DIR] [N]
set -e
build=${1:-build}
n=${2:-200}
cli=$build/morvane-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$cli" demo "$work/in" >/dev/null
i=1
while [ "$i" -le "$n" ]; do
  cp "$work/in/demo.txt" "$work/in/scan_$i.txt"
  i=$((i + 1))
done
rm "$work/in/demo.txt"
mkdir "$work/out"
start=$(date +%s.%N)
"$cli" process "$work"/in/scan_*.txt --out-dir "$work/out" \
  --op level:Lines:1 --op filter:LowPass --op median | tail -n 1
end=$(date +%s.%N)
echo "wall time with start-up: $(echo "$end - $start" | bc) s for $n files"
