#!/usr/bin/env python3
"""Levels and filters every scan of a folder and writes the results in the native format.

    level_and_filter.py IN_DIR OUT_DIR [--ops level:2Dim:1 median]

Each channel of each measurement file in IN_DIR (native .txt, Omicron .par, Burleigh
.img, TopoMetrix .tfp/.2fp/...) is levelled with a first-order plane and median
filtered, then written as OUT_DIR/<name>_<channel>.txt with float (.sin) data. With
matplotlib installed, the height profile along the middle row of each first channel is
plotted into OUT_DIR/<name>_profile.png.
"""
import argparse
import pathlib
import sys

import morvane


def is_measurement(path):
    suffix = path.suffix[1:]
    return path.is_file() and (suffix in ("txt", "par", "img", "IMG") or suffix[1:3] == "fp")


def plot_middle_row(image, out_png):
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        return False
    row = image.rows // 2
    line = morvane.profile(image, mode="row", index=row)   # as morvane-cli profile computes it
    fig, ax = plt.subplots(figsize=(6, 3))
    ax.plot(line["x"], line["z"])
    ax.set_xlabel("x %s" % line["x_label"])
    ax.set_ylabel("%s [%s]" % (image.caption or "z", image.z_unit))
    ax.set_title("row %d of %d (counted from the top)" % (row, image.rows))
    fig.tight_layout()
    fig.savefig(out_png, dpi=100)
    plt.close(fig)
    return True


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("in_dir", type=pathlib.Path)
    parser.add_argument("out_dir", type=pathlib.Path)
    parser.add_argument("--ops", nargs="+", default=["level:2Dim:1", "median"],
                        help="operations as morvane-cli process --op takes them")
    args = parser.parse_args()
    args.out_dir.mkdir(parents=True, exist_ok=True)

    failures = 0
    for path in sorted(p for p in args.in_dir.iterdir() if is_measurement(p)):
        try:
            images = morvane.open(path)
        except morvane.Error as err:
            print("%s: %s" % (path.name, err), file=sys.stderr)
            failures += 1
            continue
        for n, image in enumerate(images, start=1):
            result = morvane.process(image, *args.ops)
            target = args.out_dir / ("%s_%d.txt" % (path.stem, n))
            try:
                result.save(target, data="sin")
            except morvane.Error as err:
                print("%s: %s" % (target.name, err), file=sys.stderr)
                failures += 1
                continue
            print("%s channel %d (%s) -> %s" % (path.name, n, image.caption, target.name))
            if n == 1 and plot_middle_row(result, args.out_dir / ("%s_profile.png" % path.stem)):
                print("  profile plotted")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
