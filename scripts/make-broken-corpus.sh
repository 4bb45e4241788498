#!/usr/bin/env bash
# Writes the corpus of small broken (and a few valid) files of every format that the
# readers must survive: tests/data/broken/<format>/. The expected outcome of each file
# is in tests/data/broken/MANIFEST (kept by hand). Large and numerous variants
# (truncation at every offset, 10 MB of garbage) are made by the test itself at run time.
#
#   scripts/make-broken-corpus.sh [OUTDIR]      default: tests/data/broken
#
# Only bash, printf and coreutils are needed; the output is byte-for-byte reproducible.
set -euo pipefail
OUT=${1:-"$(cd "$(dirname "$0")/.." && pwd)/tests/data/broken"}
mkdir -p "$OUT"/{native,burleigh,topometrix,bitmap,omicron}

# ------------------------------------------------------------------ byte helpers
hex() { local b; for b in "$@"; do printf "\\x$b"; done; }
le16() { local v=$(( $1 & 0xFFFF )); hex $(printf '%02x %02x' $((v & 255)) $((v >> 8))); }
be16() { local v=$(( $1 & 0xFFFF )); hex $(printf '%02x %02x' $((v >> 8)) $((v & 255))); }
le32() {
  local v=$(( $1 & 0xFFFFFFFF ))
  hex $(printf '%02x %02x %02x %02x' $((v & 255)) $(((v >> 8) & 255)) $(((v >> 16) & 255)) $((v >> 24)))
}
f32() { le32 $((0x$1)); }           # a 32-bit float given by its bit pattern
crlf() { local l; for l in "$@"; do printf '%s\r\n' "$l"; done; }
padto() { truncate -s "$2" "$1"; }  # extends FILE with zero bytes up to SIZE
fixed() { printf "%-$2s" "$1" | head -c "$2"; }  # text blank-padded to a field width

# float bit patterns used below
F0=00000000 F05=3f000000 F1=3f800000 F2=40000000 F3=40400000 F4=40800000 FM1=bf800000
F100=42c80000 F21=40066666 FNAN=7fc00000 FINF=7f800000

# ------------------------------------------------------------------ native
N=$OUT/native
hdr112() {  # version xrange yrange xpixel ypixel
  crlf "[Header]" "Version : $1" "XScanRange : $2" "YScanRange : $3" "XPhysUnit : nm" \
       "YPhysUnit : nm" "xPixel : $4" "yPixel : $5"
}
block() {  # file caption scale unit [offset]
  crlf "FileDescBegin" "FileName : $1" "Caption : $2" "Scale : $3" "PhysUnit : $4"
  [ $# -ge 5 ] && crlf "Offset : $5"
  crlf "FileDescEnd"
}
two_blocks() { block ok-a.int "Topography Fwd" 0.001 nm 0.5; block ok-b.sin "Current" 2 nA; }

# data files: 4 x 3 samples
{ for v in 1 -2 3 -4 5 -6 7 -8 1000000 -1000000 2147483647 -2147483648; do le32 "$v"; done; } >"$N/ok-a.int"
{ for b in $F0 $F05 $F1 $F2 $F3 $F4 $FM1 $F100 $F21 $F05 $F1 $F2; do f32 "$b"; done; } >"$N/ok-b.sin"
{ for v in 1 2 3 4 5; do le32 "$v"; done; } >"$N/short.int"
: >"$N/empty.int"
{ for b in $F1 $FNAN $FINF $FM1 $F2 $F3 $F4 $F0 $F0 $F0 $F0 $F0; do f32 "$b"; done; } >"$N/nan-inf.sin"

{ hdr112 1.12 2000 1500 4 3; two_blocks; } >"$N/ok-112.txt"
{ hdr112 1.10 2000 1500 4 3; two_blocks; } >"$N/ok-110.txt"
tr -d '\n' <"$N/ok-112.txt" >"$N/cr-only.txt"
tr -d '\r' <"$N/ok-112.txt" >"$N/lf-only.txt"
crlf "Version : 1.01" "ScanRange [nm]: 2000" "Pixel in X : 4" "Pixel in Y : 3" "Files" \
     "ok-a.int" "Topography" "0.001" "nm" "ok-a.int" "Copy" "1" "nm" "" >"$N/ok-101.txt"
crlf "Version : 1" "ScanRange [nm]: 2000" "Pixel in X : 4" "Pixel in Y : 3" "Files" \
     "ok-a.int" "0.001" "nm" ";" >"$N/ok-1.txt"
crlf "Version : 1.01" "ScanRange [nm]: 2000" "Pixel in X : 4" "Pixel in Y : 3" "Files" \
     "short.int" "Topography" "0.001" "nm" "" >"$N/old-short-data.txt"
crlf "Version : 1.01" "ScanRange [nm]: 2000" "Pixel in X : 4" "Pixel in Y : 3" >"$N/old-no-files.txt"
crlf "Version : 1.01" "ScanRange [nm]: 2000" "Pixel in X : 4" "Pixel in Y : 3" "Files" \
     "ok-a.int" "Topography" >"$N/old-eof-in-list.txt"

{ crlf "[Header]" "XScanRange : 2000" "xPixel : 4" "yPixel : 3"; two_blocks; } >"$N/version-none.txt"
{ hdr112 1.13 2000 1500 4 3; two_blocks; } >"$N/version-1.13.txt"
{ hdr112 "1.12 " 2000 1500 4 3; two_blocks; } >"$N/version-blank.txt"
{ hdr112 "" 2000 1500 4 3; two_blocks; } >"$N/version-empty.txt"
printf 'Version' >"$N/version-key-only.txt"
{ crlf "Version : 1.12" "YScanRange : 1500" "XPhysUnit : nm" "YPhysUnit : nm" "xPixel : 4" "yPixel : 3"
  two_blocks; } >"$N/missing-xscanrange.txt"
{ crlf "Version : 1.12" "XScanRange : 2000" "YScanRange : 1500" "XPhysUnit : nm" "YPhysUnit : nm" "yPixel : 3"
  two_blocks; } >"$N/missing-xpixel.txt"
{ crlf "Version : 1.12" "XScanRange : 2000" "YScanRange : 1500" "XPhysUnit : nm" "YPhysUnit : nm" "XPIXEL : 4"
  crlf "ypixel : 3"; two_blocks; } >"$N/keys-upper-lower.txt"
for entry in "zero-xpixel 0 3" "zero-ypixel 4 0" "xpixel-2054 2054 3" "ypixel-2054 4 2054" \
            "xpixel-65535 65535 3" "xpixel-neg -1 3" "ypixel-neg 4 -1" "xpixel-abc abc 3" \
            "xpixel-2147483648 2147483648 3" "ypixel-float 4 3.5" "max-size-short-data 2053 2053"; do
  set -- $entry
  { hdr112 1.12 2000 1500 "$2" "$3"; two_blocks; } >"$N/$1.txt"
done
{ hdr112 1.12 "2,000.5" "x" 4 3; block ok-a.int "Topography" "1e" nm "abc"; } >"$N/bad-floats.txt"
{ hdr112 1.12 2000 1500 4 3; block short.int "Short" 1 nm; } >"$N/data-short.txt"
{ hdr112 1.12 2000 1500 4 3; block empty.int "Empty" 1 nm; } >"$N/data-empty.txt"
{ hdr112 1.12 2000 1500 4 3; block nothere.int "Missing" 1 nm; block ok-a.int "Present" 1 nm; } >"$N/data-missing.txt"
{ hdr112 1.12 2000 1500 4 3; block . "Folder" 1 nm; } >"$N/data-folder.txt"
{ hdr112 1.12 2000 1500 4 3; crlf "FileDescBegin" "FileName : " "FileDescEnd"; } >"$N/data-name-empty.txt"
# a data file that is no regular file: the name climbs to the root, then into /dev
TO_ROOT=$(printf '../%.0s' $(seq 1 40))
{ hdr112 1.12 2000 1500 4 3; block "${TO_ROOT}dev/zero" "Device" 1 nm; } >"$N/data-device.txt"
{ hdr112 1.12 2000 1500 4 3; block nan-inf.sin "Odd values" 1 nm; } >"$N/data-nan-inf.txt"
{ hdr112 1.12 2000 1500 4 3; block ok-a.int "Huge scale" 1e300 nm 1e300; } >"$N/huge-scale.txt"
{ hdr112 1.12 2000 1500 4 3; printf 'FileDescBegin\r\nFileName : ok-a.int'; } >"$N/eof-after-name.txt"
{ hdr112 1.12 2000 1500 4 3; crlf "FileDescBegin" "FileName : ok-a.int" "Caption : never ended"; } >"$N/eof-in-block.txt"
{ hdr112 1.12 2000 1500 4 3; crlf "FileDescBegin" "Caption : no name" "FileDescEnd"; block ok-a.int "Named" 1 nm; } >"$N/block-without-name.txt"
{ hdr112 1.12 2000 1500 4 3; for i in $(seq 1 300); do block ok-a.int "Channel $i" 1 nm; done; } >"$N/channels-300.txt"
{ hdr112 1.12 2000 1500 4 3; for i in $(seq 1 256); do block ok-a.int "Channel $i" 1 nm; done; } >"$N/channels-256.txt"
# NUL bytes inside values and free text: bytes below 14 are dropped from every line
{ printf 'Free\x00text\r\nVersion : 1.1\x002\r\nXScanRange : 20\x0000\r\nYScanRange : 1500\r\n'
  printf 'XPhysUnit : nm\r\nYPhysUnit : nm\r\nxPixel : \x004\r\nyPixel : 3\x00\r\n'
  two_blocks; } >"$N/nul-bytes.txt"

# ------------------------------------------------------------------ Burleigh
B=$OUT/burleigh
burleigh() {  # cols rows sample-bytes-function trailer(yes/no) [zoom]
  hex 66 66 06 40; le16 "$1"; le16 "$2"; $3
  if [ "$4" = yes ]; then
    le32 10000; le32 10000; le32 5000; le32 2000; le32 2000; le32 100
    le16 20; le16 "${5:-2}"; le16 1; hex 00 00; f32 $F100; f32 $F1
  fi
}
samples16() { local i; for i in $(seq 0 15); do le16 $((i * 250)); done; }
samples_half() { local i; for i in $(seq 0 7); do le16 $((i * 250)); done; }
samples_ff() { local i; for i in $(seq 0 15); do hex ff ff; done; }
nosamples() { :; }
burleigh 4 4 samples16 yes >"$B/ok.img"
burleigh 4 4 samples16 yes 9 >"$B/zoom-unknown.img"
{ hex 00 00 80 3f; burleigh 4 4 samples16 yes | tail -c +5; } >"$B/bad-magic.img"
: >"$B/empty.img"
hex 66 66 06 40 >"$B/mark-only.img"
hex 66 66 06 40 04 00 >"$B/header-cut.img"
burleigh 4 4 samples16 no >"$B/no-trailer.img"
burleigh 4 4 samples_half yes >"$B/samples-half.img"
burleigh 4 4 samples_ff yes >"$B/samples-all-ff.img"
burleigh -1 4 samples16 yes >"$B/cols-neg.img"
burleigh 4 -1 samples16 yes >"$B/rows-neg.img"
burleigh 4 2054 samples16 yes >"$B/rows-2054.img"
burleigh 2054 4 samples16 yes >"$B/cols-2054.img"
burleigh 32767 32767 samples16 yes >"$B/size-32767.img"
burleigh 0 0 nosamples yes >"$B/size-0.img"
burleigh 2053 2053 samples16 yes >"$B/size-2053-short.img"
burleigh 4 2 samples16 yes >"$B/nonsquare.img"

# ------------------------------------------------------------------ TopoMetrix
T=$OUT/topometrix
topometrix() {  # file rows cols sample-offset sample-count
  local f=$1
  { fixed "TopoMetrix test image" 128; fixed "second line" 128; } >"$f"
  padto "$f" 260; le32 "$4" >>"$f"
  padto "$f" 300; fixed "description of the scan" 40 >>"$f"
  padto "$f" 406; { le32 "$2"; le32 "$3"; } >>"$f"
  padto "$f" 418; { f32 $F0; f32 $F100; f32 $F0; f32 $F100; f32 $F05; f32 $F0; } >>"$f"
  padto "$f" 450; { fixed nm 10; fixed nm 10; } >>"$f"
  padto "$f" 512
  local i; for i in $(seq 1 "$5"); do le16 "$i"; done >>"$f"
}
topometrix "$T/ok.tfp" 4 4 512 16
topometrix "$T/nonsquare.tfp" 2 3 512 6
topometrix "$T/rows-2054.tfp" 2054 4 512 16
topometrix "$T/cols-neg.tfp" 4 -1 512 16
topometrix "$T/rows-min-int.tfp" $((0x80000000)) 4 512 16
topometrix "$T/rows-65535.tfp" 65535 4 512 16
topometrix "$T/size-0.tfp" 0 0 512 0
topometrix "$T/size-2053-short.tfp" 2053 2053 512 16
topometrix "$T/offset-beyond.tfp" 4 4 100000 16
topometrix "$T/offset-neg.tfp" 4 4 -4 16
topometrix "$T/offset-max.tfp" 4 4 2147483647 16
topometrix "$T/offset-zero.tfp" 4 4 0 16
topometrix "$T/samples-short.tfp" 4 4 512 10
head -c 300 "$T/ok.tfp" >"$T/header-short.tfp"
: >"$T/empty.tfp"

# ------------------------------------------------------------------ Windows bitmap
P=$OUT/bitmap
bmp_headers() {  # sig width height planes bits pixel-offset compression file-size
  printf '%s' "$1"; le32 "$8"; le32 0; le32 "$6"
  le32 40; le32 "$2"; le32 "$3"; le16 "$4"; le16 "$5"; le32 "$7"; le32 0; le32 2835; le32 2835; le32 0; le32 0
}
grey_palette() { local i; for i in $(seq 0 255); do hex $(printf '%02x %02x %02x 00' "$i" "$i" "$i"); done; }
rows8() { hex 00 40 80 00 c0 ff 10 00; }                    # 3 x 2, each row padded to 4
rows24() { hex ff ff ff 00 00 ff 00 00 ff 00 00 00 ff 00 00 00; }  # 2 x 2: white, red / blue, green
bmp8() { bmp_headers "$1" "$2" "$3" "${4:-1}" 8 1078 "${5:-0}" 1086; grey_palette; rows8; }
bmp24() { bmp_headers "$1" "$2" "$3" 1 24 54 0 70; rows24; }
bmp8 BM 3 2 >"$P/ok8.bmp"
bmp24 BM 2 2 >"$P/ok24.bmp"
bmp8 bm 3 2 >"$P/lower-signature.bmp"
bmp8 XM 3 2 >"$P/bad-signature.bmp"
bmp8 BM 3 -2 >"$P/top-down8.bmp"
bmp24 BM 2 -2 >"$P/top-down24.bmp"
bmp8 BM 2054 2 >"$P/width-2054.bmp"
bmp24 BM 65535 2 >"$P/width-65535-24.bmp"
bmp8 BM 3 $((0x80000000)) >"$P/height-min-int.bmp"
bmp8 BM 0 0 >"$P/size-0.bmp"
bmp8 BM 2053 2053 >"$P/size-2053-short.bmp"
bmp24 BM 2053 2053 >"$P/size-2053-short24.bmp"
bmp8 BM 3 2 1 1 >"$P/rle8-flag.bmp"
bmp8 BM 3 2 2 >"$P/planes-2.bmp"
{ bmp_headers BM 3 2 1 8 100000 0 1086; grey_palette; rows8; } >"$P/pixels-beyond.bmp"
{ bmp_headers BM 3 2 1 8 $((0xFFFFFFF0)) 0 1086; grey_palette; rows8; } >"$P/pixels-neg.bmp"
head -c 1080 "$P/ok8.bmp" >"$P/pixels-short8.bmp"
head -c 60 "$P/ok24.bmp" >"$P/pixels-short24.bmp"
{ bmp_headers BM 2 2 1 7 54 0 70; rows24; } >"$P/bits-7.bmp"
{ bmp_headers BM 2 2 1 32 54 0 70; hex ff ff ff 00 00 00 ff 00 ff 00 00 00 00 ff 00 00; } >"$P/bits-32.bmp"
{ bmp_headers BM 2 2 1 1 62 0 70; hex 00 00 00 00 ff ff ff 00 40 00 00 00 80 00 00 00; } >"$P/bits-1.bmp"
head -c 14 "$P/ok8.bmp" >"$P/file-header-only.bmp"
printf 'BM' >"$P/signature-only.bmp"
: >"$P/empty.bmp"

# ------------------------------------------------------------------ Omicron
O=$OUT/omicron
TOPO_KEY="Topographic Channel             :"
SPEC_KEY="Spectroscopy Channel            :"
par_head() {  # image size x, image size y, [header text]
  crlf ";" "; ${3:-Omicron SPM Control} parameter file" ";" \
       "Format                   : 1                 ; 0=Binary; 1=ASCII." \
       "Version                  : V2.2              ; Software version" \
       "System                   : SCALA             ; System name" ";" \
       "Date                     : 12:09:2000 10:07  ; Date of the measurement" \
       "User                     : tester            ; Who measured" \
       "Comment                  : a test image, long enough to carry the scanner block beyond the first lines" \
       "Comment2                 : more padding so that the fixed start of the scanner part lies in the comments" ";"
  crlf "Field X Size in nm       :   500.000         ; [nm]" \
       "Field Y Size in nm       :   400.000         ; [nm]" \
       "Image Size in X          :   $1              ; [pixels]" \
       "Image Size in Y          :   $2              ; [pixels]" \
       "Increment X              :   125.000         ; [nm]" \
       "Increment Y              :   100.000         ; [nm]" \
       "Scan Angle               :     0.000         ; [Degree]" \
       "X Offset                 :     0.000         ; [nm]" \
       "Y Offset                 :     0.000         ; [nm]" ";"
}
topo_channel() {  # direction unit resolution file
  crlf "$TOPO_KEY $1                 ; channel" \
       "    -32767                ;Minimum raw value" "     32766                ;Maximum raw value" \
       "    -200.0                ;Minimum value in physical unit" "     200.0                ;Maximum value in physical unit" \
       "     $3                   ;Resolution" "     $2                   ;Physical unit" \
       "     $4                   ;Filename" ";"
}
spectro_channel() {  # points file points-x lines-y
  crlf "$SPEC_KEY F                 ; channel" \
       "     0.5                  ;Resolution" "     $1                   ;Number of spectroscopy points" \
       "     $2                   ;Filename" \
       "Spectroscopy Points in X : $3 ;" "Spectroscopy Lines in Y  : $4 ;" ";"
}
topo_data() { local i; for i in $(seq 1 16); do be16 $((i * 100 - 800)); done; }
topo_data >"$O/ok-tfwd.tf0"
topo_data >"$O/ok-tbwd.tb0"
for i in $(seq 1 12); do be16 "$i"; done >"$O/ok-points.sp0"
hex ff fe 00 01 >"$O/short.tf0"
{ par_head 4 4; topo_channel F nm 0.5 ok-tfwd.tf0; topo_channel B nA 0.25 ok-tbwd.tb0; spectro_channel 3 ok-points.sp0 2 2; } >"$O/ok.par"
{ par_head 4 4 "Some other"; topo_channel F nm 0.5 ok-tfwd.tf0; } >"$O/bad-header.par"
{ par_head 4 4; topo_channel F nm 0.5 nothere.tf0; } >"$O/data-missing.par"
{ par_head 4 4; topo_channel F nm 0.5 short.tf0; } >"$O/data-short.par"
{ par_head 4 4; topo_channel F nm 0.5 "${TO_ROOT}dev/zero"; } >"$O/data-device.par"
{ par_head 2054 4; topo_channel F nm 0.5 ok-tfwd.tf0; } >"$O/size-2054.par"
{ par_head -1 4; topo_channel F nm 0.5 ok-tfwd.tf0; } >"$O/size-neg.par"
{ par_head 2053 2053; topo_channel F nm 0.5 ok-tfwd.tf0; } >"$O/size-2053-short.par"
{ par_head x y; topo_channel F nm 0.5 ok-tfwd.tf0; } >"$O/size-not-number.par"
{ par_head 4 4; topo_channel F nm abc ok-tfwd.tf0; } >"$O/resolution-not-number.par"
{ par_head 4 4; for i in $(seq 1 12); do topo_channel F nm 0.5 ok-tfwd.tf0; done
  for i in $(seq 1 12); do spectro_channel 1 ok-points.sp0 2 2; done; } >"$O/channels-12.par"
{ par_head 4 4; spectro_channel 1000000 ok-points.sp0 2 2; } >"$O/points-million.par"
{ par_head 4 4; spectro_channel -5 ok-points.sp0 2 2; } >"$O/points-neg.par"
{ par_head 4 4; spectro_channel 3 ok-points.sp0 2054 2054; } >"$O/points-size-2054.par"
{ par_head 4 4; printf '%s' "$TOPO_KEY"; } >"$O/channel-line-at-eof.par"
{ par_head 4 4; crlf "$TOPO_KEY F" "     0.5 ;Minimum raw value"; } >"$O/eof-in-channel.par"
head -c 400 "$O/ok.par" >"$O/short-file.par"
{ par_head 4 4 | head -c 470; } >"$O/no-scanner.par"
tr -d '\n' <"$O/ok.par" >"$O/cr-only.par"
tr -d '\r' <"$O/ok.par" >"$O/lf-only.par"
{ par_head 4 4; printf '%0700d;Resolution\r\n' 0; topo_channel F nm 0.5 ok-tfwd.tf0; } >"$O/long-line.par"
{ par_head 4 4; printf '\x00\x00\x00\r\n'; topo_channel F nm 0.5 ok-tfwd.tf0; } >"$O/nul-bytes.par"
: >"$O/empty.par"

echo "make-broken-corpus: wrote $(find "$OUT" -type f ! -name MANIFEST | wc -l) files under $OUT"
