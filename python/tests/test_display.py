"""Pictures of images (notebook PNG, plots) and the picture report of a batch."""
import html.parser
import io
import pathlib
import re

import numpy as np
import pytest

import morvane

PIL = pytest.importorskip("PIL.Image")


def rgb(data):
    return np.asarray(PIL.open(io.BytesIO(data) if isinstance(data, bytes) else data).convert("RGB"))


def test_png_is_the_saved_bitmap_pixel_for_pixel(cli, demo, tmp_path):
    for channel in (1, 2):
        bmp = tmp_path / ("demo%d.bmp" % channel)
        cli("convert", demo, bmp, "--channel", channel)
        image = morvane.open(demo, channel=channel)[0]
        png = image._repr_png_()
        assert png.startswith(b"\x89PNG")
        assert np.array_equal(rgb(png), rgb(bmp))
        image.to_png(tmp_path / "a.png")
        assert (tmp_path / "a.png").read_bytes() == png

    # a changed colour range and samples changed through .data show in the picture
    image = morvane.range(morvane.open(demo)[0], -1, 0.5)
    image.data[:5, :] = 100.0
    image.save(tmp_path / "fixed.bmp")
    assert np.array_equal(rgb(image._repr_png_()), rgb(tmp_path / "fixed.bmp"))


def test_png_with_zbar_is_the_composed_picture(demo, tmp_path):
    image = morvane.open(demo)[0]
    image.to_png(tmp_path / "z.png", zbar=True)
    composed = rgb(tmp_path / "z.png")
    plain = rgb(image._repr_png_())
    h = max(256, image.rows, image.cols)
    assert composed.shape == (h, 3 * h // 2, 3)
    side = min(round(0.7 * (3 * h // 2)), h)
    if side == image.rows == image.cols:
        assert np.array_equal(composed[:, :side], plain)
    # the bar: its top line under the frame the last palette colour, the bottom the first
    w = 3 * h // 2
    left, top = round(0.8 * w), round(0.25 * h)
    width, height = 4 * round(0.02 * w), 4 * round(0.1 * h)
    x = left + width // 2
    assert tuple(composed[top, x]) == (0, 0, 0)
    assert tuple(composed[top + 1, x]) == tuple(image.palette[255])
    assert tuple(composed[top + height - 1, x]) == tuple(image.palette[0])
    assert tuple(composed[0, w - 1]) == (255, 255, 255)


def test_plot_and_profile_plot_on_agg(demo):
    matplotlib = pytest.importorskip("matplotlib")
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    image = morvane.open(demo)[0]
    fig, ax = plt.subplots()
    shown = image.plot(ax=ax)
    assert tuple(shown.get_extent()) == (0.0, image.x_range, 0.0, image.y_range)
    assert ax.get_xlabel() == "x [%s]" % image.x_unit and ax.get_ylabel() == "y [%s]" % image.y_unit
    assert shown.origin == "lower"
    assert shown.get_clim() == (image.min, image.max)
    assert fig.axes[-1].get_ylabel() == image.z_unit  # the colour bar
    # the image's palette: the ends of the range take its first and last colour
    cmap = shown.get_cmap()
    assert np.allclose(np.array(cmap(0.0)[:3]) * 255, image.palette[0])
    assert np.allclose(np.array(cmap(1.0)[:3]) * 255, image.palette[255])
    fig.canvas.draw()
    plt.close(fig)

    fig, ax = plt.subplots()
    shown = image.plot(ax=ax, colorbar=False, cmap="gray")
    assert len(fig.axes) == 1 and shown.get_cmap().name == "gray"
    plt.close(fig)

    p = morvane.profile(image, mode="row", index=3)
    fig, ax = plt.subplots()
    assert p.plot(ax=ax) is ax
    line = ax.get_lines()[0]
    assert np.array_equal(line.get_xdata(), p["x"]) and np.array_equal(line.get_ydata(), p["z"])
    assert ax.get_xlabel() == "x " + p["x_label"] and ax.get_ylabel() == "z [%s]" % image.z_unit
    plt.close(fig)


class _Rows(html.parser.HTMLParser):
    """The report's table rows: attributes, texts of the cells, image sources."""

    def __init__(self):
        super().__init__()
        self.rows, self.scripts_from = [], []
        self._row = None

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if tag == "script" and "src" in attrs:
            self.scripts_from.append(attrs["src"])
        if tag == "tr" and "data-index" in attrs:
            self._row = {"attrs": attrs, "text": "", "imgs": []}
            self.rows.append(self._row)
        elif self._row is not None and tag == "img":
            self._row["imgs"].append(attrs["src"])

    def handle_endtag(self, tag):
        if tag == "tr":
            self._row = None

    def handle_data(self, data):
        if self._row is not None:
            self._row["text"] += data


def _parse(path):
    p = _Rows()
    p.feed(path.read_text(encoding="utf-8"))
    return p


def test_batch_report(cli, demo_dir, tmp_path):
    inputs = []
    for name in ("b", "a", "c"):
        for f in demo_dir.iterdir():  # the data files keep their names: the copies share them
            target = tmp_path / (name + ".txt" if f.name == "demo.txt" else f.name)
            if not target.exists():
                target.write_bytes(f.read_bytes())
        inputs.append(tmp_path / (name + ".txt"))
    bad = tmp_path / "broken.txt"
    bad.write_bytes(b"not a scan\n")
    inputs.insert(1, bad)
    out = tmp_path / "out"
    out.mkdir()
    ops = ["level:2Dim:1", "median", "filter:LowPass"]
    args = [a for op in ops for a in ("--op", op)]
    # float data files: the output read back holds the very samples the figures are of
    # two worker processes hand their rows on through files
    done = cli("process", *inputs, "--out-dir", out, *args, "--data", "sin", "--report", "-j", "2", check=False)
    assert done.returncode == 1  # the broken file
    report = out / "report.html"
    page = _parse(report)
    assert not page.scripts_from and "http" not in report.read_text()
    assert [r["attrs"]["data-index"] for r in page.rows] == ["1", "2", "3", "4"]
    for i, (row, path) in enumerate(zip(page.rows, inputs)):
        assert path.name in row["text"]
        if path == bad:
            assert row["attrs"]["class"] == "failed" and "not supported" in row["text"]
            assert not row["imgs"]
            continue
        assert row["attrs"]["class"] == "ok"
        result = morvane.open(out / path.name)[0]
        stats = morvane.roughness(result)["image"]
        values = result.data.astype(np.float64)
        assert float(row["attrs"]["data-min"]) == values.min()
        assert float(row["attrs"]["data-max"]) == values.max()
        assert float(row["attrs"]["data-mean"]) == pytest.approx(stats["mean"], rel=1e-12, abs=1e-12)
        assert float(row["attrs"]["data-sd"]) == pytest.approx(stats["sd"], rel=1e-12)
        assert all(op in row["text"] for op in ops)
        assert "%d × %d px" % (result.cols, result.rows) in row["text"]
        assert len(row["imgs"]) == 2
        for src, image in zip(row["imgs"], (morvane.open(path)[0], result)):
            thumb = rgb(out / src)
            side = thumb.shape[0]
            assert thumb.shape[1] == side <= 256
            # each thumbnail pixel shows the picture pixel under its centre
            lines = (2 * np.arange(side) + 1) * image.rows // (2 * side)
            cols = (2 * np.arange(side) + 1) * image.cols // (2 * side)
            assert np.array_equal(thumb, rgb(image._repr_png_())[lines][:, cols])

    # a second report beside the first: nothing of the first replaced, every file refused
    before = report.read_bytes()
    done = cli("process", *inputs, "--out-dir", out, *args, "--report", check=False)
    assert done.returncode == 1
    assert report.read_bytes() == before
    second = _parse(out / "report-2.html")
    assert [r["attrs"]["class"] for r in second.rows] == ["failed"] * 4
    assert re.search(r"a\.txt already exists", "".join(r["text"] for r in second.rows))
    assert (out / "report_files").is_dir() and (out / "report-2_files").is_dir()
    assert not list((out / "report_files").glob("*.row"))


def test_report_from_python(demo, tmp_path):
    image = morvane.open(demo)[0]
    done = morvane.median(image)
    report = morvane._morvane._Report(tmp_path)
    report.add(1, "b.txt", "out/b.txt", image, done, ["median"], "")  # rows may come in any order
    report.add(0, "a.txt", "out/a.txt", image, None, [], "File not found!")
    assert report.finish(["a.txt", "b.txt"], ["out/a.txt", "out/b.txt"]) == str(tmp_path / "report.html")
    rows = _parse(tmp_path / "report.html").rows
    assert [r["attrs"]["class"] for r in rows] == ["failed", "ok"] and "File not found!" in rows[0]["text"]
    assert float(rows[1]["attrs"]["data-sd"]) == pytest.approx(morvane.roughness(done)["image"]["sd"], rel=1e-12)
    assert morvane._morvane._Report(tmp_path).path == str(tmp_path / "report-2.html")
    # morvane.batch writes the same page
    out = tmp_path / "out"
    out.mkdir()
    (tmp_path / "bad.txt").write_bytes(b"no scan")
    results = morvane.batch([demo, tmp_path / "bad.txt"], ["median"], out, data="sin", progress=False, report=True)
    rows = _parse(out / "report.html").rows
    assert [r["attrs"]["class"] for r in rows] == ["ok", "failed"] and "error" in results[1]
    assert float(rows[0]["attrs"]["data-sd"]) == pytest.approx(
        morvane.roughness(morvane.open(out / "demo.txt")[0])["image"]["sd"], rel=1e-12)
    assert "median" in rows[0]["text"] and len(rows[0]["imgs"]) == 2
