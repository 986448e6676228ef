"""Runs the Python tests' cases and writes them as GoogleTest XML, so the test run counts each
case: passed, failed with its trace, or skipped with the reason this machine cannot run it."""
import os
import tempfile
import time
import traceback
import xml.etree.ElementTree as ET


class Skipped(Exception):
    """The case means nothing on this machine or architecture; the message says why."""


def run_cases(cases, results, suite_name, before_each=None, skip_all=None, temp_folder=False):
    """Runs (name, function) cases in order, each after `before_each`. With `temp_folder` each
    function gets a fresh folder of its own; with `skip_all` (a reason) none runs. Returns the
    number of failures."""
    suite = ET.Element("testsuites")
    failures = skipped = 0
    for name, case in cases:
        element = ET.SubElement(suite, "testcase", name=name, classname=suite_name)
        started = time.time()
        try:
            if skip_all:
                raise Skipped(skip_all)
            if before_each:
                before_each()
            if temp_folder:
                with tempfile.TemporaryDirectory() as where:
                    case(where)
            else:
                case()
            print(f"[       OK ] {name} ({time.time() - started:.1f} s)", flush=True)
        except Skipped as e:
            skipped += 1
            element.set("result", "skipped")
            ET.SubElement(element, "skipped", message=str(e))
            print(f"[  SKIPPED ] {name}: {e}", flush=True)
        except Exception:
            failures += 1
            detail = traceback.format_exc()
            ET.SubElement(element, "failure", message=detail.splitlines()[-1]).text = detail
            print(f"[  FAILED  ] {name}\n{detail}", flush=True)
    os.makedirs(os.path.dirname(os.path.abspath(results)), exist_ok=True)
    ET.ElementTree(suite).write(results, encoding="utf-8")
    print(f"{len(cases) - failures - skipped} passed, {skipped} skipped, {failures} failed "
          f"of {len(cases)} {suite_name} cases")
    return failures
