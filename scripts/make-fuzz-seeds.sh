#!/usr/bin/env bash
# Writes the seed corpora of the fuzz targets from the small files of the broken-file
# corpus (tests/data/broken, valid and broken alike):
#   OUTDIR/native  OUTDIR/omicron      control byte 0, parameter text, then each data
#                                      file after the separator "#MORVANE-DATA#"
#   OUTDIR/burleigh OUTDIR/topometrix OUTDIR/bitmap   the files themselves
#   OUTDIR/palette                     a kind byte (0 JASC, 1 text, 2 binary), then the file
#   OUTDIR/gwy OUTDIR/gsf OUTDIR/sxm   the Gwyddion and Nanonis files of tests/data/fields
#                                      (hand-made, written by Gwyddion and by Morvane)
#
#   scripts/make-fuzz-seeds.sh OUTDIR
set -euo pipefail
ROOT="$(cd "$(dirname "$0")/.." && pwd)"
SRC="$ROOT/tests/data/broken"
OUT=${1:?usage: make-fuzz-seeds.sh OUTDIR}
SEP='#MORVANE-DATA#'
mkdir -p "$OUT"/{native,omicron,burleigh,topometrix,bitmap,palette,gwy,gsf,sxm}

for f in "$SRC"/burleigh/*.img; do cp "$f" "$OUT/burleigh/"; done
for f in "$SRC"/topometrix/*.tfp; do cp "$f" "$OUT/topometrix/"; done
for f in "$SRC"/bitmap/*.bmp; do cp "$f" "$OUT/bitmap/"; done
for ext in gwy gsf sxm; do
  for f in "$ROOT"/tests/data/fields/*."$ext"; do cp "$f" "$OUT/$ext/"; done
done
for f in "$SRC"/palette/*; do
  case "$f" in *.pal) kind='\x00' ;; *.txt) kind='\x01' ;; *) kind='\x02' ;; esac
  { printf "$kind"; cat "$f"; } >"$OUT/palette/$(basename "$f")"
done

# data file names a parameter file gives, in order, without repeats
native_names() {
  tr -d '\r\0' <"$1" | sed -n 's/^FileName : //p'
  tr -d '\r\0' <"$1" | sed -n '/^Files$/,$p' | grep -E '\.(int|sin)$' || true
}
omicron_names() { tr -d '\r' <"$1" | sed -n 's/^ *\([^ ;]*\) *;Filename.*/\1/p'; }

seed() {  # format parameter-file names...
  local fmt=$1 par=$2 name
  shift 2
  {
    printf '\x00'
    cat "$par"
    for name in "$@"; do
      printf '%s' "$SEP"
      if [ -f "$SRC/$fmt/$name" ]; then cat "$SRC/$fmt/$name"; fi
    done
  } >"$OUT/$fmt/$(basename "$par")"
}

for f in "$SRC"/native/*.txt; do
  mapfile -t names < <(native_names "$f" | awk '!seen[$0]++' | head -n 8)
  seed native "$f" "${names[@]}"
done
for f in "$SRC"/omicron/*.par; do
  mapfile -t names < <(omicron_names "$f" | awk '!seen[$0]++' | head -n 8)
  seed omicron "$f" "${names[@]}"
done
echo "make-fuzz-seeds: $(find "$OUT" -type f | wc -l) seeds under $OUT"
