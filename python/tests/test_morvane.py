"""The module against morvane-cli on the demo scan, bit for bit, and its own guarantees:
views instead of copies, images from numpy, errors with the program's texts."""
import copy
import gc
import json
import os
import pathlib
import subprocess
import sys
import warnings

import numpy as np
import pytest

import morvane


def same_bits(a, b):
    a, b = np.asarray(a), np.asarray(b)
    return a.shape == b.shape and a.dtype == b.dtype and np.array_equal(a.view(np.uint32), b.view(np.uint32))


def sin_samples(path, rows, cols):
    """The samples of a .sin data file (row 0 first)."""
    return np.fromfile(path, dtype="<f4").reshape(rows, cols)


# ---------------------------------------------------------------- opening

def test_open_agrees_with_cli_info(cli, demo):
    info = json.loads(cli("info", demo).stdout)
    images = morvane.open(demo)
    assert len(images) == len(info["channels"])
    for img, ch in zip(images, info["channels"]):
        assert img.caption == ch["caption"]
        assert (img.rows, img.cols) == (ch["rows"], ch["cols"])
        assert img.data.shape == (ch["rows"], ch["cols"]) and img.data.dtype == np.float32
        assert (img.x_unit, img.y_unit, img.z_unit) == (ch["x_unit"], ch["y_unit"], ch["z_unit"])
        assert (img.x_range, img.y_range) == (ch["x_range"], ch["y_range"])
        assert (img.scale, img.offset) == (ch["scale"], ch["offset"])
        assert (img.min, img.max) == (ch["min"], ch["max"])
        assert img.file_name == ch["data_file"]
        assert any(line.startswith("Version") for line in img.info)


@pytest.mark.parametrize("channel", [1, 2])
def test_samples_agree_with_cli_bit_for_bit(cli, demo, tmp_path, channel):
    cli("convert", demo, tmp_path / "c.txt", "--channel", channel, "--data", "sin")
    img = morvane.open(demo, channel=channel)
    assert len(img) == 1
    img = img[0]
    assert same_bits(img.data, sin_samples(tmp_path / "c.sin", img.rows, img.cols))


def test_open_accepts_path_objects_and_one_channel(demo):
    both = morvane.open(pathlib.Path(demo))
    second = morvane.open(str(demo), channel=2)
    assert [i.caption for i in second] == [both[1].caption]
    assert same_bits(second[0].data, both[1].data)


# ---------------------------------------------------------------- processing and writing

OPERATION_CASES = [
    ["invert"],
    ["level:2Dim:1"],
    ["level:Lines:2", "median"],
    ["level:Cols:0", "filter:Laplace 2"],
    ["filter:LowPass", "mean"],
    ["noise:5"],
    ["clip:-1:2.5"],
    ["fft:log:suppzero"],
    ["zoom:10:20:300:400", "level:2Dim:2"],
    ["distortion:0.01:0.002:-0.01:0.003"],
    ["sphere:8:high"],
    ["rescale:100:50:3:\u00b5m:\u00b5m:pm"],
    ["level:2Dim:1:band:0:1", "level:2Dim:1:kept"],
    ["clip:-1:2:-3:3", "range:auto"],
    ["fft:log", "fft:log:inverse"],
]


@pytest.mark.parametrize("ops", OPERATION_CASES, ids=lambda ops: "+".join(ops))
@pytest.mark.parametrize("data", ["sin", "int"])
def test_process_and_save_agree_with_cli(cli, demo, tmp_path, ops, data):
    (tmp_path / "cli").mkdir()
    (tmp_path / "py").mkdir()
    args = ["process", demo, tmp_path / "cli" / "out.txt", "--data", data]
    for op in ops:
        args += ["--op", op]
    cli(*args)
    result = morvane.process(morvane.open(demo)[0], *ops)
    result.save(tmp_path / "py" / "out.txt", data=data)
    for name in ("out.txt", "out." + data):
        assert (tmp_path / "cli" / name).read_bytes() == (tmp_path / "py" / name).read_bytes(), name
    if data == "sin":
        assert same_bits(result.data, sin_samples(tmp_path / "py" / "out.sin", result.rows, result.cols))


@pytest.mark.parametrize("ext", [".dat", ".stl", ".bmp", ".jpg", ".gwy", ".gsf"])
def test_every_writer_agrees_with_cli(cli, demo, tmp_path, ext):
    cli("convert", demo, tmp_path / ("cli" + ext), "--channel", 2)
    morvane.open(demo)[1].save(tmp_path / ("py" + ext))
    assert (tmp_path / ("cli" + ext)).read_bytes() == (tmp_path / ("py" + ext)).read_bytes()


def test_palette_for_pictures(cli, demo, tmp_path):
    pal = tmp_path / "grey.txt"
    pal.write_text("".join("%d %d %d\n" % (i, i, i) for i in range(256)))
    cli("convert", demo, tmp_path / "cli.bmp", "--palette", pal)
    img = morvane.open(demo)[0]
    img.save(tmp_path / "py.bmp", palette=pal)
    assert (tmp_path / "cli.bmp").read_bytes() == (tmp_path / "py.bmp").read_bytes()
    img.save(tmp_path / "own.bmp")  # the image's palette is still its own
    assert (tmp_path / "own.bmp").read_bytes() != (tmp_path / "py.bmp").read_bytes()


def test_arith_with_a_file_or_an_image(cli, demo, tmp_path):
    cli("process", demo, tmp_path / "cli.txt", "--data", "sin", "--op", "arith:-:%s:2" % demo)
    topo, current = morvane.open(demo)
    by_file = morvane.arith(topo, "-", demo, channel=2)
    by_image = morvane.arith(topo, "-", current)
    expected = sin_samples(tmp_path / "cli.sin", topo.rows, topo.cols)
    assert same_bits(by_file.data, expected)
    assert same_bits(by_image.data, expected)
    assert by_image.z_unit == by_file.z_unit


NAMED_CASES = [
    (lambda i: morvane.invert(i), ["invert"]),
    (lambda i: morvane.level(i, method="Lines", order=2), ["level:Lines:2"]),
    (lambda i: morvane.level(i), ["level:2Dim:1"]),
    (lambda i: morvane.clip(i, low=-1, high=2.5), ["clip:-1:2.5"]),
    (lambda i: morvane.filter(i, "Laplace 1"), ["filter:Laplace 1"]),
    (lambda i: morvane.noise(i, percent=2.5), ["noise:2.5"]),
    (lambda i: morvane.median(morvane.mean(i)), ["mean", "median"]),
    (lambda i: morvane.fft(i, log=True), ["fft:log"]),
    (lambda i: morvane.fft(i, suppzero=True), ["fft:suppzero"]),
    (lambda i: morvane.zoom(i, x1=5, y1=6, x2=200, y2=100), ["zoom:5:6:200:100"]),
    (lambda i: morvane.distortion(i, cx=0.01, dx=0.0, cy=0.02, dy=1e-3), ["distortion:0.01:0:0.02:0.001"]),
    (lambda i: morvane.sphere(i, radius=6.5), ["sphere:6.5"]),
    (lambda i: morvane.rescale(i, 10, 20, 2, z_unit="pm"), ["rescale:10:20:2:nm:nm:pm"]),
    (lambda i: morvane.level(i, "Lines", 1, advanced=True, bands=[(-1, 0.5), (1, 2)]),
     ["level:Lines:1:advanced:band:-1:0.5:1:2"]),
    (lambda i: morvane.level(morvane.level(i, bands=[(0, 1)]), kept=True),
     ["level:2Dim:1:band:0:1", "level:2Dim:1:kept"]),
    (lambda i: morvane.clip(i, -1, 2, fixed=(-2, 3)), ["clip:-1:2:-2:3"]),
    (lambda i: morvane.range(morvane.range(i, -1, 1.5)), ["range:-1:1.5", "range:auto"]),
    (lambda i: morvane.noise(i, 3, z_range=(-2, 4)), ["noise:3:-2:4"]),
    (lambda i: morvane.fft(i, log=True, inverse=True), ["fft:log:inverse"]),
    (lambda i: morvane.sphere(i, 4, highpass=True, switches=2), ["sphere:4:high:switch:switch"]),
]


@pytest.mark.parametrize("call,ops", NAMED_CASES, ids=lambda v: "+".join(v) if isinstance(v, list) else "")
def test_named_functions_are_the_operation_texts(demo, call, ops):
    img = morvane.open(demo)[0]
    by_name = call(img)
    by_text = morvane.process(img, *ops)
    assert same_bits(by_name.data, by_text.data)
    assert (by_name.x_range, by_name.y_range, by_name.z_unit) == (by_text.x_range, by_text.y_range, by_text.z_unit)


def test_every_operation_has_a_function():
    names = [name for name, _, _ in morvane.operations()]
    assert names and all(callable(getattr(morvane, n, None)) for n in names)


# ---------------------------------------------------------------- views, not copies

def test_data_is_a_view_that_keeps_the_image_alive(demo):
    img = morvane.open(demo)[0]
    a, b = img.data, img.data
    assert np.shares_memory(a, b) and a.flags.writeable
    before = float(a[3, 4])
    a[3, 4] = 1234.5
    assert img.data[3, 4] == np.float32(1234.5)
    assert img.max == 1234.5  # the range follows the samples
    del img
    gc.collect()
    assert a[3, 4] == np.float32(1234.5) and before != 1234.5
    a += 1  # still the image's block, still writable


def test_process_leaves_its_input_and_its_views_alone(demo):
    img = morvane.open(demo)[0]
    view = img.data
    keep = view.copy()
    out = morvane.process(img, "zoom:0:0:100:50", "invert")
    assert out.data.shape == (50, 100)
    assert same_bits(view, keep) and same_bits(img.data, keep)
    assert not np.shares_memory(out.data, view)


def test_copies_on_request(demo):
    img = morvane.open(demo)[0]
    for dup in (img.copy(), copy.copy(img), copy.deepcopy(img)):
        assert same_bits(dup.data, img.data) and not np.shares_memory(dup.data, img.data)
        assert (dup.caption, dup.info, dup.x_range) == (img.caption, img.info, img.x_range)
    assert not np.shares_memory(np.array(img.data), img.data)
    assert np.shares_memory(np.asarray(img), img.data)
    assert not np.shares_memory(img.__array__(copy=True), img.data)
    assert np.asarray(img, dtype=np.float64).dtype == np.float64


def test_edits_through_the_view_are_saved(demo, tmp_path):
    img = morvane.open(demo)[1]
    img.data[:] = np.arange(img.rows * img.cols, dtype=np.float32).reshape(img.rows, img.cols)
    img.save(tmp_path / "e.txt", data="sin")
    again = morvane.open(tmp_path / "e.txt")[0]
    assert same_bits(again.data, img.data)


def test_every_save_sees_the_samples_as_they_are_then(demo, tmp_path):
    img = morvane.open(demo)[0]
    view = img.data  # alive through every save
    for n, peak in enumerate([50.0, 75.0, 20.0]):
        view[7, 9] = peak
        img.save(tmp_path / ("v%d.txt" % n), data="sin")
        img.save(tmp_path / ("v%d.bmp" % n))
        again = morvane.open(tmp_path / ("v%d.txt" % n))[0]
        assert again.max == peak and same_bits(again.data, view)
        expected = morvane.Image(view.copy())
        expected.save(tmp_path / ("e%d.bmp" % n))
        assert (tmp_path / ("v%d.bmp" % n)).read_bytes() == (tmp_path / ("e%d.bmp" % n)).read_bytes()
    del view
    img.data[0, 0] = 99.0  # a view that is gone at once
    img.save(tmp_path / "gone.txt", data="sin")
    assert morvane.open(tmp_path / "gone.txt")[0].max == 99.0
    img.data = np.full(img.data.shape, 3.0)
    img.save(tmp_path / "set.txt", data="sin")
    assert morvane.open(tmp_path / "set.txt")[0].min == 3.0


def test_data_can_be_replaced_only_with_its_shape(demo):
    img = morvane.open(demo)[0]
    view = img.data
    img.data = np.zeros(img.data.shape, dtype=np.float64)
    assert not view.any()
    with pytest.raises(ValueError):
        img.data = np.zeros((3, 3))


# ---------------------------------------------------------------- images from numpy

def test_image_from_numpy_round_trip(tmp_path):
    rows, cols = 37, 53
    samples = (np.sin(np.arange(rows * cols)) * 3.25).reshape(rows, cols)
    img = morvane.Image(samples, x_range=1.5, y_range=0.75, x_unit="\u00b5m", y_unit="\u00b5m",
                        z_unit="\u00c5", caption="synthetic")
    assert same_bits(img.data, samples.astype(np.float32))
    assert (img.rows, img.cols, img.x_range, img.y_range) == (rows, cols, 1.5, 0.75)
    img.save(tmp_path / "s.txt", data="sin")
    back = morvane.open(tmp_path / "s.txt")
    assert len(back) == 1
    back = back[0]
    assert same_bits(back.data, img.data)
    assert (back.x_range, back.y_range) == (1.5, 0.75)
    assert (back.x_unit, back.y_unit, back.z_unit, back.caption) == ("\u00b5m", "\u00b5m", "\u00c5", "synthetic")
    # the .int data: about a million steps over the value range
    img.save(tmp_path / "i.txt")
    quantised = morvane.open(tmp_path / "i.txt")[0].data
    assert np.max(np.abs(quantised - img.data)) <= 6.5 / 1e6


def test_image_defaults_and_refusals():
    img = morvane.Image(np.ones((4, 6), dtype=np.int32))
    assert (img.x_range, img.y_range, img.z_unit, img.caption, img.info) == (6.0, 4.0, "nm", "", [])
    assert img.data.dtype == np.float32 and img.min == img.max == 1.0
    for bad in (np.zeros(5), np.zeros((2, 2, 2)), np.zeros((0, 4)), np.zeros((2054, 1)), np.zeros((1, 2054))):
        with pytest.raises(ValueError):
            morvane.Image(bad)
    assert morvane.Image(np.zeros((2053, 1))).rows == 2053
    with pytest.raises(ValueError):
        morvane.Image(np.zeros((2, 2)), z_unit="\u20ac")
    with pytest.raises(TypeError):
        morvane.Image([["a", "b"]])


# ---------------------------------------------------------------- errors

@pytest.mark.parametrize("ops,text", [
    (["nosuch"], 'unknown operation "nosuch"'),
    (["level:Diagonal:1"], 'level: unknown method "Diagonal"'),
    (["median", "clip:3:1"], "clip: LOW (3) is above HIGH (1)"),
    (["noise"], "noise: the percentage of the z range is missing"),
])
def test_bad_operation_texts_raise_before_anything_runs(demo, ops, text):
    img = morvane.open(demo)[0]
    with pytest.raises(morvane.Error) as err:
        morvane.process(img, *ops)
    assert text in str(err.value) and text in err.value.messages[0]


def test_refused_operations_raise_with_the_program_message(demo):
    flat = morvane.Image(np.full((8, 8), 2.0))
    with pytest.raises(morvane.Error) as err:
        morvane.rescale(flat, 1, 1, 5)
    assert err.value.messages == ["Cannot rescale: all values of this image are equal!"]
    with pytest.raises(morvane.Error) as err:
        morvane.arith(morvane.open(demo)[0], "+", flat)
    assert err.value.messages == ["Pictures must have some size!"]


def test_files_that_cannot_be_read_raise(tmp_path, cli):
    with pytest.raises(morvane.Error) as err:
        morvane.open(tmp_path / "scan.xyz")
    assert err.value.messages == ["Unknown file type"]
    missing = tmp_path / "missing.txt"
    with pytest.raises(morvane.Error) as err:
        morvane.open(missing)
    assert err.value.messages == [m for m in cli("info", missing, check=False).stderr.decode().splitlines()]


def test_native_save_never_replaces(demo, tmp_path):
    img = morvane.open(demo)[0]
    img.save(tmp_path / "k.txt")
    before = (tmp_path / "k.int").read_bytes()
    with pytest.raises(morvane.Error) as err:
        morvane.invert(img).save(tmp_path / "k.txt")
    assert "already exists! Abort!" in str(err.value)
    assert (tmp_path / "k.int").read_bytes() == before


@pytest.mark.parametrize("name", ["x.png", "x.TXT", "x.BMP", "x"])
def test_unknown_output_names_are_refused(demo, tmp_path, name):
    with pytest.raises(ValueError):
        morvane.open(demo)[0].save(tmp_path / name)
    assert not any(tmp_path.iterdir())


def test_bad_arguments_are_type_errors(demo):
    img = morvane.open(demo)[0]
    with pytest.raises(TypeError):
        morvane.process(img, 3)
    with pytest.raises(TypeError):
        morvane.zoom(img, 1.5, 0, 10, 10)
    with pytest.raises(morvane.Error):
        morvane.clip(img, float("nan"), 1)
    with pytest.raises(ValueError):
        img.save("x.txt", data="float")


def test_error_is_an_exception_and_warning_a_user_warning():
    assert issubclass(morvane.Error, Exception)
    assert issubclass(morvane.Warning, UserWarning)


# ---------------------------------------------------------------- the example

def test_example_levels_and_filters_a_folder(demo_dir, tmp_path):
    example = pathlib.Path(os.environ.get("MORVANE_EXAMPLES", "")) / "level_and_filter.py"
    if not example.is_file():
        pytest.skip("MORVANE_EXAMPLES is not set")
    out = tmp_path / "out"
    done = subprocess.run([sys.executable, str(example), str(demo_dir), str(out)], capture_output=True,
                          env=dict(os.environ, MPLBACKEND="Agg"))
    assert done.returncode == 0, done.stderr.decode()
    written = sorted(p.name for p in out.iterdir())
    assert "demo_1.txt" in written and "demo_1.sin" in written
    levelled = morvane.open(out / "demo_1.txt")[0]
    expected = morvane.process(morvane.open(demo_dir / "demo.txt")[0], "level:2Dim:1", "median")
    assert same_bits(levelled.data, expected.data)


# ---------------------------------------------------------------- in place

@pytest.mark.parametrize("ops", [["level:Lines:1", "median"], ["zoom:3:4:100:90", "invert"], ["fft:log"]])
def test_apply_in_place_is_process(demo, ops):
    img = morvane.open(demo)[0]
    expected = morvane.process(img, *ops)
    assert img.apply(*ops) is img
    assert same_bits(img.data, expected.data)
    assert (img.x_range, img.y_range, img.min, img.max) == (expected.x_range, expected.y_range,
                                                            expected.min, expected.max)


def test_apply_keeps_live_views_valid(demo):
    img = morvane.open(demo)[0]
    view = img.data
    expected = morvane.process(img, "median", "invert")
    img.apply("median", "invert")
    assert np.shares_memory(view, img.data) and same_bits(view, expected.data)
    expected = morvane.process(img, "rescale:10:20:5:pm:pm:pA")
    img.apply("rescale:10:20:5:pm:pm:pA")  # ranges and units come along, the samples into the view
    assert (img.x_range, img.y_range, img.x_unit, img.z_unit) == (10, 20, "pm", "pA")
    assert same_bits(view, expected.data) and (img.min, img.max) == (expected.min, expected.max)
    assert img.info == expected.info and img.caption == expected.caption
    keep = view.copy()
    with pytest.raises(morvane.Error) as err:
        img.apply("zoom:0:0:10:10")
    assert "morvane.process()" in str(err.value)
    assert img.data.shape == keep.shape and same_bits(view, keep)
    del view
    gc.collect()
    img.apply("zoom:0:0:10:10")  # no arrays left: the image may change its size
    assert img.data.shape == (10, 10)


def test_apply_refuses_bad_texts_before_changing_anything(demo):
    img = morvane.open(demo)[0]
    keep = img.data.copy()
    with pytest.raises(morvane.Error):
        img.apply("invert", "level:2Dim:7")
    assert same_bits(img.data, keep)


def test_messages_of_a_load_that_goes_on_are_warnings(cli):
    data = pathlib.Path(os.environ.get("MORVANE_TEST_DATA", "")) / "broken" / "native" / "data-missing.txt"
    if not data.is_file():
        pytest.skip("MORVANE_TEST_DATA is not set")
    shown = json.loads(cli("info", data, check=False).stdout)["messages"]
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        images = morvane.open(data)
    assert len(images) == 1
    assert [str(w.message) for w in caught if issubclass(w.category, morvane.Warning)] == shown
    assert "File nothere.int not found!" in shown
    with warnings.catch_warnings():
        warnings.simplefilter("error", morvane.Warning)
        with pytest.raises(morvane.Warning):
            morvane.open(data)


# ---------------------------------------------------------------- every reader

INSTRUMENT_FILES = [
    ("burleigh/ok.img", True),
    ("topometrix/ok.tfp", True),
    ("bitmap/ok8.bmp", True),
    ("bitmap/ok24.bmp", True),
    ("omicron/ok.par", True),
    ("omicron/ok.par", False),
]


@pytest.mark.parametrize("name,spectroscopy", INSTRUMENT_FILES)
def test_every_reader_agrees_with_cli(cli, tmp_path, name, spectroscopy):
    path = pathlib.Path(os.environ.get("MORVANE_TEST_DATA", "")) / "broken" / name
    if not path.is_file():
        pytest.skip("MORVANE_TEST_DATA is not set")
    answer = "yes" if spectroscopy else "no"
    info = json.loads(cli("info", path, "--spectroscopy", answer).stdout)
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        images = morvane.open(path, spectroscopy=spectroscopy)
    assert [str(w.message) for w in caught] == info["messages"]
    assert [i.caption for i in images] == [c["caption"] for c in info["channels"]]
    for n, (img, ch) in enumerate(zip(images, info["channels"]), start=1):
        assert (img.cols, img.rows, img.x_range, img.y_range, img.min, img.max) == \
            (ch["cols"], ch["rows"], ch["x_range"], ch["y_range"], ch["min"], ch["max"])
        out = tmp_path / ("c%d.txt" % n)
        cli("convert", path, out, "--channel", n, "--data", "sin", "--spectroscopy", answer)
        assert same_bits(img.data, sin_samples(out.with_suffix(".sin"), img.rows, img.cols))


def test_results_do_not_depend_on_the_thread_count(demo):
    img = morvane.open(demo)[0]
    before = morvane.threads()
    results = []
    try:
        for n in (1, 2, 3, 8):
            morvane.set_threads(n)
            assert morvane.threads() == n
            out = [morvane.fft(img, log=True), morvane.sphere(img, 40), morvane.median(img),
                   morvane.filter(img, "LowPass")]
            results.append([o.data.tobytes() for o in out])
        with pytest.raises(ValueError):
            morvane.set_threads(-1)
    finally:
        morvane.set_threads(before)
    assert all(r == results[0] for r in results[1:])
