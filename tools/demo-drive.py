#!/usr/bin/env python3
"""Clicks through the sample installer's wizard under Xvfb: a screenshot of each dialog,
then the installer's exit code."""
import argparse
import os
import sys
import time

from wizarddriver import Helper, Layout, screenshot


def wait_for_new_window(helper, title, seen, timeout):
    end = time.time() + timeout
    while time.time() < end:
        code, hwnd = helper.run("wait-window", "Qpx_Installer", title, "1000")
        if code == 0 and hwnd not in seen:
            seen.add(hwnd)
            time.sleep(1.0)  # painted
            return hwnd
        time.sleep(0.2)
    return None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tests", required=True, help="folder of the test helper")
    ap.add_argument("--installer", required=True)
    ap.add_argument("--layout", required=True)
    ap.add_argument("--out", required=True)
    args = ap.parse_args()
    helper, layout = Helper(args.tests), Layout(args.layout)
    process = helper.start_logged(os.path.join(args.out, "installer.log"), args.installer)
    seen = set()
    pages = [("options", "InitDlg", "InstallBtn"), ("progress", "InstallDlg", None),
             ("completion", "CompleteDlg", "CloseBtn")]
    for picture, dlg, button in pages:
        hwnd = wait_for_new_window(helper, "", seen, 120)
        if not hwnd:
            break
        path = os.path.join(args.out, picture + ".png")
        screenshot(path)
        print(f"screenshot of the {picture} dialog: {path}", flush=True)
        if button:
            helper.click(hwnd, *layout.centre(dlg, button))
    code = process.wait(timeout=300)
    print(f"installer log: {os.path.join(args.out, 'installer.log')}")
    print(f"installer exit code: {code}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
