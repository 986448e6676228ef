"""The scripting reference stays complete: every function of the native registration table,
every value type and every global or hook the engine names has its entry in
docs/scripting.md, written as code (`Lua_X`).

Run by pytest with the options of tests/conftest.py.
"""
import os
import re

ARGS = None  # the options, set by tests/conftest.py

ENGINE = ("qpxsetup", "qpxinstaller")


def source(*parts):
    return open(os.path.join(ARGS.source, *parts), encoding="utf-8").read()


def documented():
    return set(re.findall(r"`([A-Za-z_][A-Za-z0-9_]*)[`(.[]", source("docs", "scripting.md")))


def test_every_registered_native_and_value_type_is_documented():
    table = source(*ENGINE, "qpxscriptengine", "qpxnatives.cpp")
    names = re.findall(r'^\s*\{"(\w+)",\s*\w+\},', table, re.MULTILINE)
    assert len(names) > 30, "the registration table was not read"
    missing = sorted(set(names) - documented())
    assert not missing, f"not in docs/scripting.md: {missing}"


def test_every_global_and_hook_the_engine_names_is_documented():
    names = re.findall(r'^constexpr char k\w+\[\] = "(\w+)";', source(*ENGINE, "qpxglobals.h"),
                       re.MULTILINE)
    assert len(names) > 20, "the globals were not read"
    missing = sorted(set(names) - documented())
    assert not missing, f"not in docs/scripting.md: {missing}"
