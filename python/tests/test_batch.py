"""morvane.batch against morvane-cli process --out-dir: here, and on a local Dask cluster."""
import os
import pathlib
import re
import subprocess
import sys

import pytest

import morvane

OPS = ["level:2Dim:1", "median", "mean"]


@pytest.fixture(scope="module")
def inputs(cli, demo, tmp_path_factory):
    """A dozen small scans cut from the demo, a broken file, and a second scan whose output
    name is the first one's (in a folder of its own)."""
    d = tmp_path_factory.mktemp("inputs")
    files = []
    for i in range(12):
        x, y = 17 * i, 9 * i
        files.append(d / ("s%02d.txt" % i))
        cli("process", demo, files[-1], "--op", "zoom:%d:%d:%d:%d" % (x, y, x + 40 + i, y + 32))
    broken = d / "broken.txt"
    broken.write_bytes(b"not a scan\n")
    (d / "again").mkdir()
    again = d / "again" / "s03.txt"
    cli("process", demo, again, "--op", "zoom:100:100:150:140")
    return files[:5] + [broken] + files[5:] + [again]


def cli_outputs(cli, files, out, *args):
    out.mkdir()
    cli("process", "--out-dir", out, *args, *files, check=False)
    return out


def assert_same_files(expected, got):
    names = sorted(p.name for p in expected.iterdir())
    assert sorted(p.name for p in got.iterdir()) == names
    for name in names:
        assert (got / name).read_bytes() == (expected / name).read_bytes(), name


def snapshot(d):
    return {p.name: (p.read_bytes(), p.stat().st_mtime_ns) for p in d.iterdir()}


def check_results(results, files, out, ext):
    assert [r["input"] for r in results] == [str(f) for f in files]
    for r, f in zip(results, files):
        if f.name == "broken.txt":
            assert r["error"]
        elif f.parent.name == "again":  # its output was written by the first s03
            assert "already exists, not overwritten" in r["error"]
        else:
            assert r == {"input": str(f), "output": str(out / (f.stem + ext))}


@pytest.mark.parametrize("ext,data", [(".txt", "int"), (".txt", "sin"), (".dat", "int"), (".bmp", "int"),
                                      (".stl", "int")])
def test_batch_here_writes_what_the_cli_writes_and_never_overwrites(cli, inputs, tmp_path, ext, data):
    expected = cli_outputs(cli, inputs, tmp_path / "cli", *sum((["--op", op] for op in OPS), []),
                           "--ext", ext, "--data", data)
    out = tmp_path / "py"
    out.mkdir()
    results = morvane.batch(inputs, OPS, out, ext=ext, data=data)
    check_results(results, inputs, out, ext)
    assert_same_files(expected, out)
    before = snapshot(out)
    again = morvane.batch(inputs, OPS, out, ext=ext, data=data)
    assert all("already exists, not overwritten" in r["error"] for r in again if r["input"].find("broken") < 0)
    assert snapshot(out) == before


def test_batch_refuses_bad_arguments_before_any_file(inputs, tmp_path):
    for kwargs, error in [({"ops": ["level:2Dim:x"]}, morvane.Error), ({"ops": []}, ValueError),
                          ({"ext": ".png"}, ValueError), ({"data": "float"}, ValueError),
                          ({"out_dir": tmp_path / "none"}, NotADirectoryError)]:
        args = {"files": inputs, "ops": OPS, "out_dir": tmp_path, **kwargs}
        with pytest.raises(error):
            morvane.batch(**args)
    assert list(tmp_path.iterdir()) == []


def test_module_without_a_client_does_not_import_dask(inputs, tmp_path):
    code = ("import sys, morvane; r = morvane.batch(sys.argv[2:], ['median'], sys.argv[1]);"
            "print(len(r), any(m == 'dask' or m.startswith(('dask.', 'distributed')) for m in sys.modules))")
    done = subprocess.run([sys.executable, "-c", code, str(tmp_path), *map(str, inputs[:2])],
                          capture_output=True, text=True, check=True)
    assert done.stdout.split() == ["2", "False"]


# ---------------------------------------------------------------- on a cluster

@pytest.fixture(scope="module")
def cluster():
    distributed = pytest.importorskip("distributed", reason="Dask's distributed scheduler "
                                      "(Debian package python3-distributed) is not installed")
    # the workers import morvane themselves: from the build this test runs against
    here = str(pathlib.Path(morvane.__file__).resolve().parent.parent)
    old = os.environ.get("PYTHONPATH")
    os.environ["PYTHONPATH"] = here + (os.pathsep + old if old else "")
    # loopback only: the HTTP servers the scheduler and workers start even without a
    # dashboard are held there too
    with distributed.LocalCluster(n_workers=2, processes=True, host="127.0.0.1", dashboard_address=None,
                                  scheduler_kwargs={"dashboard_address": "127.0.0.1:0"},
                                  worker_dashboard_address="127.0.0.1:0") as c, distributed.Client(c) as client:
        yield client
    if old is None:
        del os.environ["PYTHONPATH"]
    else:
        os.environ["PYTHONPATH"] = old


def test_cluster_writes_what_the_cli_writes_and_reports_progress(cli, inputs, cluster, tmp_path, capsys):
    expected = cli_outputs(cli, inputs, tmp_path / "cli", *sum((["--op", op] for op in OPS), []))
    out = tmp_path / "py"
    out.mkdir()
    results = morvane.batch(inputs, OPS, out, client=cluster)
    check_results(results, inputs, out, ".txt")
    assert_same_files(expected, out)
    lines = capsys.readouterr().out.splitlines()
    n = len(inputs)
    assert sorted(int(re.match(r"\[(\d+)/%d\] " % n, line).group(1)) for line in lines) == list(range(1, n + 1))
    assert sum(line.endswith("FAILED") for line in lines) == 2

    before = snapshot(out)
    again = morvane.batch(inputs, OPS, out, client=cluster, progress=False)
    assert sum("already exists, not overwritten" in r.get("error", "") for r in again) == n - 1
    assert snapshot(out) == before


def test_shell_entry_on_the_cluster(cli, inputs, cluster, tmp_path):
    ops_file = tmp_path / "ops.txt"
    ops_file.write_text("level:Lines:1\nmedian\n")
    expected = cli_outputs(cli, inputs, tmp_path / "cli", "--ops-from", ops_file, "--op", "mean", "--data", "sin")
    out = tmp_path / "py"
    out.mkdir()

    def run(*args):
        return subprocess.run([sys.executable, "-m", "morvane.batch", *map(str, args)], capture_output=True, text=True)

    done = run("--scheduler", cluster.scheduler.address, "--out-dir", out, "--ops-from", ops_file, "--op", "mean",
               "--data", "sin", *inputs)
    assert done.returncode == 1, done.stderr
    assert "broken.txt" in done.stderr
    assert len([line for line in done.stdout.splitlines() if line.startswith("[")]) == len(inputs)
    assert_same_files(expected, out)
    assert "RuntimeWarning" not in done.stderr
    # usage errors: nothing to do, an unreadable operation, no such folder
    for args in (["--out-dir", out], ["--out-dir", out, "--op", "level:2Dim:x"], ["--out-dir", tmp_path / "x",
                                                                                  "--op", "median"]):
        done = run(*args, inputs[0])
        assert done.returncode == 2, done.stderr
