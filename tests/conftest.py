"""What the Python tests share under pytest: the options the build gives them
(tests/CMakeLists.txt), as the module global ARGS, and a fresh folder per case."""
import argparse
import os
import tempfile

import pytest

OPTIONS = ("source", "build", "luac", "installer", "second-installer",
           "tests", "programs", "resources", "analyze-installer", "nostat-installer", "layout",
           "uninstaller", "uninstall-layout", "prefix", "variants", "kit", "tree-arch")
# Paths the cases use from other working folders.
ABSOLUTE = ("source", "build", "luac")


def pytest_addoption(parser):
    for name in OPTIONS:
        parser.addoption("--" + name)
    parser.addoption("--arch", default="win64", help="the Windows of the prefix: win64 or win32")


@pytest.fixture(scope="module", autouse=True)
def module_args(request, pytestconfig):
    """Sets the test module's ARGS to the options."""
    args = argparse.Namespace(**vars(pytestconfig.option))
    for name in ABSOLUTE:
        if getattr(args, name):
            setattr(args, name, os.path.abspath(getattr(args, name)))
    request.module.ARGS = args


@pytest.fixture
def where():
    """A fresh folder of the case's own, removed afterwards. Not pytest's tmp_path: its paths
    are long enough for the script compiler to cut the file names in its messages."""
    with tempfile.TemporaryDirectory() as folder:
        yield folder
