"""Profiles, roughness and the unit cell through the module against morvane-cli."""
import json

import numpy as np
import pytest

import morvane

# (CLI options, keyword arguments) for the same line
LINES = [
    ([], {}),
    (["--index", "5"], {"index": 5}),
    (["--index", "-4"], {"index": -4}),
    (["--index", "2.5"], {"index": 2.5}),
    (["--mode", "col", "--width", "3", "--index", "7"], {"mode": "col", "width": 3, "index": 7}),
    (["--mode", "row", "--width", "0", "--index", "600"], {"width": 0, "index": 600}),
    (["--mode", "any", "--from", "-5,-5", "--to", "300,40", "--width", "4"],
     {"mode": "any", "from_": (-5, -5), "to": (300, 40), "width": 4}),
    (["--mode", "any"], {"mode": "any"}),
    (["--mode", "radial", "--angle", "-30", "--width", "5"], {"mode": "radial", "angle": -30, "width": 5}),
    (["--mode", "radial", "--angle", "400"], {"mode": "radial", "angle": 400}),
]
LINE_IDS = [" ".join(o) or "default" for o, _ in LINES]


def cli_profile_columns(text):
    rows = [line.split("\t") for line in text.decode().split("\r\n") if line]
    return np.array([[float(v) for v in r] for r in rows]).reshape(-1, len(rows[0]) if rows else 2)


@pytest.mark.parametrize("opts,kwargs", LINES, ids=LINE_IDS)
def test_profile_agrees_with_cli(cli, demo, opts, kwargs):
    img = morvane.open(demo)[0]
    got = morvane.profile(img, **kwargs)
    cols = cli_profile_columns(cli("profile", demo, *opts).stdout)
    assert got["count"] == len(cols) == len(got["x"]) == len(got["z"])
    assert got["z2"] is None
    # the data file holds 15 significant digits
    np.testing.assert_allclose(got["x"], cols[:, 0], rtol=1e-14, atol=0)
    np.testing.assert_allclose(got["z"], cols[:, 1], rtol=1e-14, atol=0)
    assert len(got["columns"]) == len(got["rows"]) == got["count"]


def test_profile_of_a_second_image(cli, demo):
    topo, current = morvane.open(demo)
    got = morvane.profile(topo, mode="col", index=20, width=2, second=current)
    cols = cli_profile_columns(cli("profile", demo, "--mode", "col", "--index", "20", "--width", "2",
                                   "--second", "%s:2" % demo).stdout)
    assert cols.shape == (got["count"], 3)
    np.testing.assert_allclose(got["z"], cols[:, 1], rtol=1e-14, atol=0)
    np.testing.assert_allclose(got["z2"], cols[:, 2], rtol=1e-14, atol=0)


def test_profile_follows_the_samples_of_the_image(demo):
    img = morvane.open(demo)[0]
    p = morvane.profile(img, index=0)
    # row 0 as displayed is the top line: the last stored row
    np.testing.assert_array_equal(p["z"], img.data[-1].astype(np.float64))
    assert p["x_label"] == "[%s]" % img.x_unit
    assert p["sample_step"] == pytest.approx(img.x_range / img.cols)


@pytest.mark.parametrize("opts,kwargs", LINES, ids=LINE_IDS)
def test_roughness_is_what_the_cli_prints(cli, demo, opts, kwargs):
    img = morvane.open(demo)[0]
    assert morvane.roughness(img, **kwargs) == json.loads(cli("roughness", demo, *opts).stdout)


def test_roughness_of_a_processed_image(cli, demo, tmp_path):
    cli("process", demo, tmp_path / "lev.txt", "--data", "sin", "--op", "level:Lines:1")
    flat = morvane.level(morvane.open(demo)[0], method="Lines", order=1)
    expected = json.loads(cli("roughness", tmp_path / "lev.txt", "--mode", "col", "--index", "9").stdout)
    assert morvane.roughness(flat, mode="col", index=9) == expected
    assert list(expected) == ["profile", "image"]
    assert list(expected["profile"]) == ["Ra", "Rpm", "Rvm", "Rz", "Rmax", "Rq", "unit", "count"]


@pytest.mark.parametrize("call,text", [
    (lambda i: morvane.profile(i, mode="diagonal"), "mode"),
    (lambda i: morvane.roughness(i, index=float("nan")), "index"),
    (lambda i: morvane.profile(i, mode="any", from_=(1, 2, 3)), "from_"),
    (lambda i: morvane.unitcell(i, threshold=101), "threshold"),
    (lambda i: morvane.unitcell(i, quantity="c"), "quantity"),
    (lambda i: morvane.unitcell(i, axis="z"), "axis"),
    (lambda i: morvane.unitcell(i, corners=[(1, 2), (3, 4)]), "corners"),
], ids=["mode", "index", "from", "threshold", "quantity", "axis", "corners"])
def test_bad_analysis_arguments_raise(demo, call, text):
    img = morvane.open(demo)[0]
    with pytest.raises((ValueError, TypeError), match=text):
        call(img)


def lattice(rows, cols, period):
    """A square lattice of round bumps on a slight slope."""
    y, x = np.mgrid[0:rows, 0:cols].astype(np.float64)
    z = np.cos(2 * np.pi * x / period) + np.cos(2 * np.pi * y / period) + 0.001 * x
    return z.astype(np.float32)


@pytest.fixture(scope="module")
def lattice_file(tmp_path_factory):
    path = tmp_path_factory.mktemp("lattice") / "lattice.txt"
    morvane.Image(lattice(128, 96, 16), x_range=48, y_range=64, caption="Topography").save(path, data="sin")
    return path


UNITCELL_CASES = [
    ([], {}),
    (["--threshold", "80", "--average"], {"threshold": 80, "average": True}),
    (["--corners", "20,30,36,30,36,46", "--quantity", "ay"], {"corners": [(20, 30), (36, 30), (36, 46)], "quantity": "ay"}),
    (["--corners", "20,30,36,30,36,46", "--quantity", "phi", "--axis", "y"],
     {"corners": (20, 30, 36, 30, 36, 46), "quantity": "phi", "axis": "y"}),
    (["--quantity", "b", "--threshold", "60", "--average"], {"quantity": "b", "threshold": 60, "average": True}),
]


@pytest.mark.parametrize("opts,kwargs", UNITCELL_CASES, ids=[" ".join(o) or "default" for o, _ in UNITCELL_CASES])
def test_unitcell_is_what_the_cli_prints(cli, lattice_file, opts, kwargs):
    img = morvane.open(lattice_file)[0]
    expected = json.loads(cli("unitcell", lattice_file, *opts).stdout)
    got = morvane.unitcell(img, **kwargs)
    assert got == expected
    assert list(got) == list(expected)


def test_unitcell_on_the_demo_scan(cli, demo):
    img = morvane.open(demo)[0]
    assert morvane.unitcell(img, threshold=99) == json.loads(cli("unitcell", demo, "--threshold", "99").stdout)


@pytest.mark.parametrize("kwargs,opts", [
    ({}, []),                                                   # too many regions on the demo scan
    ({"corners": [(0, 0), (1, 0), (1, 1)]}, ["--corners", "0,0,1,0,1,1"]),  # a cell too small
])
def test_refused_unitcell_raises_with_the_cli_message(cli, demo, kwargs, opts):
    img = morvane.open(demo)[0]
    done = cli("unitcell", demo, *opts, check=False)
    assert done.returncode == 1
    with pytest.raises(morvane.Error) as err:
        morvane.unitcell(img, **kwargs)
    for message in err.value.messages:
        for line in message.replace("\r", "\n").split("\n"):
            assert line.strip() in done.stderr.decode("latin-1")
