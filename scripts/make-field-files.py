#!/usr/bin/env python3
"""Writes the hand-made Gwyddion simple field and Nanonis files of tests/data/fields.

Every sample tells where it was stored: image m, stored line k (from the first stored
line), stored column c give the value 100*m + 10*k + c + 1 (times the unit's scale), so
a flipped, mirrored or swapped picture shows at once.

    scripts/make-field-files.py [OUTDIR]      default: tests/data/fields
"""
import os
import struct
import sys

OUT = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "tests", "data", "fields")
os.makedirs(OUT, exist_ok=True)


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def value(m, k, c):
    return 100 * m + 10 * k + c + 1


def gsf(name, cols, rows, head, scale, m=0):
    h = "Gwyddion Simple Field 1.0\n" + "".join(f"{k} = {v}\n" for k, v in head) 
    h = h.encode("utf-8")
    h += b"\0" * (4 - len(h) % 4)
    data = b"".join(struct.pack("<f", value(m, k, c) * scale) for k in range(rows) for c in range(cols))
    write(name, h + data)


# a 4 x 3 height image in metres, and a current image in amperes
gsf("height.gsf", 4, 3, [("XRes", 4), ("YRes", 3), ("XReal", "4e-07"), ("YReal", "3e-07"),
                         ("XYUnits", "m"), ("ZUnits", "m"), ("Title", "Height \u00c5")], 1e-9)
gsf("current.gsf", 4, 3, [("XRes", 4), ("YRes", 3), ("XReal", "4e-07"), ("YReal", "3e-07"),
                          ("XYUnits", "m"), ("ZUnits", "A"), ("Title", "Current")], 1e-12, 1)
# no units at all, a header that is already aligned (4 NUL bytes), volts
gsf("plain.gsf", 3, 2, [("XRes", 3), ("YRes", 2), ("XReal", "3"), ("YReal", "2"), ("ZUnits", "V"),
                        ("Title", "Bias")], 1.0)


def sxm(name, version, pixels, direction, channels, extra_tags=()):
    """channels: (name, unit, direction, scale)"""
    cols, rows = pixels
    px = f"{rows}       {cols}" if version == 1 else f"{cols}       {rows}"
    lines = [":NANONIS_VERSION:", str(version), ":SCANIT_TYPE:", "              FLOAT            MSBFIRST",
             ":REC_DATE:", "09.12.2026", ":SCAN_PIXELS:", "       " + px,
             ":SCAN_RANGE:", "           4.000000E-8           3.000000E-8",
             ":SCAN_OFFSET:", "             0.000000E+0         0.000000E+0",
             ":SCAN_DIR:", direction]
    lines += list(extra_tags)
    lines += [":DATA_INFO:", "\tChannel\tName\tUnit\tDirection\tCalibration\tOffset"]
    for i, (n, u, d, _) in enumerate(channels):
        lines.append(f"\t{i}\t{n}\t{u}\t{d}\t1.000E+0\t0.000E+0")
    lines += ["", ":SCANIT_END:", "", ""]
    head = "\n".join(lines).encode("latin-1") + b"\x1a\x04"
    data = b""
    m = 0
    for n, u, d, scale in channels:
        for _ in range(2 if d == "both" else 1):
            data += b"".join(struct.pack(">f", value(m, k, c) * scale) for k in range(rows) for c in range(cols))
            m += 1
    write(name, head + data)


sxm("down-both.sxm", 2, (4, 3), "down",
    [("Z", "m", "both", 1e-10), ("Current", "A", "forward", 1e-12), ("Freq_Shift", "Hz", "both", 1.0)],
    [":Z-CONTROLLER:", "\tName\ton\tSetpoint", "\tlog Current\t1\t1.000E-10 A"])
sxm("up-forward.sxm", 2, (4, 3), "up", [("Z", "m", "forward", 1e-10), ("Current", "A", "forward", 1e-12)])
sxm("version1.sxm", 1, (4, 3), "down", [("Bias", "V", "both", 0.5)])
