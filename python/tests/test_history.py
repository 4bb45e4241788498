"""Image.history: what process() and apply() record, as morvane-cli process records it."""
import numpy as np
import pytest

import morvane

from test_morvane import same_bits

OPS = ["level:Lines:1", "filter:Laplace 1", "zoom:3:4:100:90", "rescale:10:20:2:nm:nm:\u00b5m"]


def saved_history_lines(path):
    return [line for line in path.read_bytes().split(b"\r\n") if line.startswith(b"; history")]


def test_process_and_apply_record_the_operation_texts(demo):
    img = morvane.open(demo)[0]
    assert img.history == []
    out = morvane.process(img, *OPS[:2])
    assert out.history == OPS[:2]
    assert img.history == []                      # the input keeps its own
    assert morvane.median(out).history == OPS[:2] + ["median"]
    img.apply(OPS[0])
    view = img.data                               # the apply below runs on a copy
    img.apply("invert")
    assert img.history == [OPS[0], "invert"] and view.base is not None


def test_a_refused_step_keeps_what_ran_before_it(demo):
    img = morvane.open(demo)[0]
    with pytest.raises(morvane.Error):
        img.apply("invert", "arith:+:%s:9" % demo)
    assert img.history == ["invert"]


@pytest.mark.parametrize("data", ["sin", "int"])
def test_saved_history_is_what_the_cli_writes(cli, demo, tmp_path, data):
    cli("process", demo, tmp_path / "cli.txt", "--data", data, *sum((["--op", o] for o in OPS), []))
    morvane.process(morvane.open(demo)[0], *OPS).save(tmp_path / "py.txt", data=data)
    assert saved_history_lines(tmp_path / "py.txt") == saved_history_lines(tmp_path / "cli.txt")
    assert len(saved_history_lines(tmp_path / "py.txt")) == len(OPS)
    assert morvane.open(tmp_path / "py.txt")[0].history == OPS


def test_history_goes_on_after_a_reopen_and_replays(cli, demo, tmp_path):
    first = morvane.process(morvane.open(demo)[0], *OPS[:2])
    first.save(tmp_path / "one.txt", data="sin")
    again = morvane.open(tmp_path / "one.txt")[0]
    assert again.history == OPS[:2]
    final = morvane.process(again, "median", "fft:log")
    assert final.history == OPS[:2] + ["median", "fft:log"]
    final.save(tmp_path / "two.txt", data="sin")
    # the saved history replayed on the original scan gives the same samples
    cli("process", demo, tmp_path / "replay.txt", "--data", "sin", "--ops-from", tmp_path / "two.txt")
    replay = morvane.open(tmp_path / "replay.txt")[0]
    assert same_bits(replay.data, final.data)
    assert replay.history == final.history


def test_arith_with_an_image_records_where_it_came_from(demo):
    topo, current = morvane.open(demo)
    by_file = morvane.arith(topo, "-", demo, channel=2)
    by_image = morvane.arith(topo, "-", current)
    assert by_file.history == ["arith:-:%s:2" % demo]
    assert by_image.history == by_file.history


def test_images_from_numpy_start_without_history():
    img = morvane.Image(np.zeros((4, 5)))
    assert img.history == []
    assert morvane.invert(img).history == ["invert"]


@pytest.mark.parametrize("ext", [".gwy", ".gsf"])
def test_gwyddion_files_bring_the_history_back(demo, tmp_path, ext):
    out = morvane.process(morvane.open(demo)[0], *OPS[:3])
    out.save(tmp_path / ("out" + ext))
    back = morvane.open(tmp_path / ("out" + ext))
    assert len(back) == 1 and back[0].history == OPS[:3] and back[0].caption == out.caption
    with pytest.raises(morvane.Error, match="already exists"):
        out.save(tmp_path / ("out" + ext))
