import os
import pathlib
import shutil
import subprocess

import pytest


def _env_path(name):
    value = os.environ.get(name)
    if not value:
        pytest.skip("%s is not set (run through ctest)" % name)
    return pathlib.Path(value)


@pytest.fixture(scope="session")
def cli():
    path = _env_path("MORVANE_CLI")

    def run(*args, check=True):
        done = subprocess.run([str(path), *map(str, args)], capture_output=True)
        if check and done.returncode != 0:
            raise AssertionError("morvane-cli %s: exit %d\n%s" % (" ".join(map(str, args)), done.returncode,
                                                                  done.stderr.decode(errors="replace")))
        return done
    return run


@pytest.fixture(scope="session")
def demo_dir(tmp_path_factory):
    """A private copy of the demo scan."""
    src = _env_path("MORVANE_DEMO_DIR")
    dst = tmp_path_factory.mktemp("demo")
    for f in src.iterdir():
        shutil.copy(f, dst / f.name)
    return dst


@pytest.fixture(scope="session")
def demo(demo_dir):
    return demo_dir / "demo.txt"
