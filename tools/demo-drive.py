#!/usr/bin/env python3
"""Clicks through the sample installer's wizard under Xvfb: a screenshot of each dialog,
the installer's exit code, then what the installation left on the machine; then the same for
the uninstaller it installed, and what is left after it. With --silent both run unattended
instead, with their log files."""
import argparse
import os
import sys
import time

from qpxpe import PeImage
from wizarddriver import Helper, Layout, host_path, screenshot, wine_path

UNINSTALL_KEY = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Corvane"
KEYS = [("HKLM", "SOFTWARE\\Corvane"), ("HKCU", "SOFTWARE\\Corvane"), ("HKLM", UNINSTALL_KEY),
        ("HKCR", "Directory\\Background\\shell\\开启桌面整理"),
        ("HKCR", "Directory\\Background\\shell\\开启桌面整理\\command")]
SERVICE_STATES = {1: "stopped", 2: "starting", 3: "stopping", 4: "running"}


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


def print_installation(helper, view):
    """What the installation left, its keys read in the installer's own registry view; the
    install folder, or None when there is none."""
    location = (helper.reg_values("HKLM", UNINSTALL_KEY, view) or {}).get("InstallLocation")
    if not location:
        print("nothing was installed")
        return None
    folder = location[1]
    files = sorted(os.path.relpath(os.path.join(top, name), host_path(folder))
                   for top, _, names in os.walk(host_path(folder)) for name in names)
    print(f"installed into {folder}: {len(files)} files ({', '.join(files)})")
    print("registry:")
    for root, key in KEYS:
        for name, (kind, data) in (helper.reg_values(root, key, view) or {}).items():
            print(f"  {root}\\{key}  {name or '(default)'}  {kind}  {data}")
    run = (helper.reg_values("HKCU", "Software\\Microsoft\\Windows\\CurrentVersion\\Run", view) or {}).get("Corvane")
    if run:
        print(f"  HKCU\\...\\Run  Corvane  {run[0]}  {run[1]}")
    print("shortcuts:")
    quick_launch = helper.special_folder(26) + "\\Microsoft\\Internet Explorer\\Quick Launch"
    for link in (helper.special_folder(16) + "\\Corvane.lnk", quick_launch + "\\Corvane.lnk",
                 helper.special_folder(23) + "\\Corvane\\Corvane.lnk",
                 helper.special_folder(23) + "\\Corvane\\卸载Corvane.lnk"):
        if os.path.exists(host_path(link)):
            print(f"  {link}")
    state = helper.service_state("CorvaneSearch")
    print(f"service CorvaneSearch: {SERVICE_STATES.get(state, 'not installed')}")
    return folder


def click_through(helper, layout, program, log, out, pages):
    """Starts a program and clicks through its pages ((picture, Dlg, button) each), a
    screenshot of each."""
    process = helper.start_logged(log, program)
    seen = set()
    for picture, dlg, button in pages:
        hwnd = wait_for_new_window(helper, "", seen, 120)
        if not hwnd:
            break
        path = os.path.join(out, picture + ".png")
        screenshot(path)
        print(f"screenshot of the {picture} dialog: {path}", flush=True)
        if button:
            helper.click(hwnd, *layout.centre(dlg, button))
    return process


def run(helper, args, what, program, layout, pages):
    """One run of the installer or the uninstaller, clicked through or unattended; its exit code."""
    log = os.path.join(args.out, what + ".log")
    if args.silent:
        own_log = os.path.join(args.out, what + "-log.txt")
        if os.path.exists(own_log):
            os.remove(own_log)
        print(f"unattended run: {program} /S /LOG={wine_path(own_log)}", flush=True)
        process = helper.start_logged(log, program, args=["/S", "/LOG=" + wine_path(own_log)])
    else:
        process = click_through(helper, layout, program, log, args.out, pages)
    code = process.wait(timeout=300)
    print(f"{what} debug output: {log}")
    if args.silent:
        print(f"its own log file (/LOG=): {own_log}")
    print(f"{what} exit code: {code}")
    return code


def print_leftovers(helper, view, folder):
    """What the uninstallation left of the installation."""
    left = []
    if os.path.exists(host_path(folder)):
        left.append(f"the folder {folder}")
    left += [f"{root}\\{key}" for root, key in KEYS if helper.reg_values(root, key, view) is not None]
    if helper.service_state("CorvaneSearch") is not None:
        left.append("the service CorvaneSearch")
    print("after the uninstallation: " + ("nothing is left" if not left else "left: " + ", ".join(left)))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--tests", required=True, help="folder of the test helper")
    ap.add_argument("--installer", required=True)
    ap.add_argument("--layout", required=True)
    ap.add_argument("--uninstall-layout", required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--silent", action="store_true", help="an unattended run: /S and /LOG=")
    args = ap.parse_args()
    helper = Helper(args.tests)
    view = "64" if PeImage(open(args.installer, "rb").read()).is_64bit else "32"
    run(helper, args, "installer", args.installer, Layout(args.layout),
        [("options", "InitDlg", "InstallBtn"), ("progress", "InstallDlg", None),
         ("completion", "CompleteDlg", "CloseBtn")])
    folder = print_installation(helper, view)
    if not folder:
        return 0
    run(helper, args, "uninstaller", folder + "\\Uninstall.exe", Layout(args.uninstall_layout),
        [("uninstall-reasons", "UninstallDlg", "UninstallBtn"), ("uninstall-progress", "UninstallingDlg", None),
         ("uninstall-end", "UninstalledDlg", "DoneBtn")])
    time.sleep(3)  # the uninstaller's temporary copy goes a moment after it ended
    print_leftovers(helper, view, folder)
    return 0


if __name__ == "__main__":
    sys.exit(main())
