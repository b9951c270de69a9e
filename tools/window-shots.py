#!/usr/bin/python3
"""Screenshots of the installer's window as it opens, at 96, 144 and 192 DPI, for comparing two
builds pixel for pixel (`compare -metric AE`).

    tools/i386-run.sh xvfb-run -a -s "-screen 0 1920x1400x24" \\
        /usr/bin/python3 tools/window-shots.py OUT_DIR [--installer EXE] [--dpi 96 144 192]

Each DPI runs in a copy of the Wine prefix of its own (tools/wine-prefix-copy.sh, as the DPI
window tests do), made from KAVORIN_WINEPREFIX; without it, from the build's own prefix
(build/windows/wineprefix, made first by tools/wine-prefix.sh when it is missing). The focus is taken off the address field first, so no caret blinks in the
picture, and the window is shot twice a second apart: two pictures that differ are reported
instead of saved.
"""
import argparse
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(os.path.dirname(HERE), "tests", "e2e"))
import harness  # noqa: E402


def one(out_dir, dpi, installer):
    paths = harness.Paths()
    if installer:
        paths.installer = installer
    if dpi != 96:
        subprocess.run(["/usr/lib/wine/wine64", "reg", "add", r"HKCU\Control Panel\Desktop", "/v",
                        "LogPixels", "/t", "REG_DWORD", "/d", str(dpi), "/f"],
                       env=harness.wine_env(paths), check=True, stdout=subprocess.DEVNULL)
    harness.start_wineserver(paths)
    work = os.path.join(out_dir, "work-%d" % dpi)
    os.makedirs(work, exist_ok=True)
    probe = harness.Probe(paths)
    app = harness.Installer(paths, probe, work)
    try:
        time.sleep(1.0)
        first = os.path.join(out_dir, "dpi%d.png" % dpi)
        again = os.path.join(out_dir, "dpi%d-again.png" % dpi)
        harness.screenshot(first, app.win.rect)
        time.sleep(1.0)
        harness.screenshot(again, app.win.rect)
        diff = subprocess.run(["compare", "-metric", "AE", first, again, "null:"],
                              capture_output=True, text=True).stderr.strip()
        os.remove(again)
        if diff != "0":
            raise SystemExit("dpi %d: two shots a second apart differ in %s pixels" % (dpi, diff))
        print("dpi %d: %s" % (dpi, first), flush=True)
    finally:
        app.stop()
        probe.close()
        harness.stop_wineserver(paths)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("out")
    parser.add_argument("--installer")
    parser.add_argument("--dpi", type=int, nargs="+", default=[96, 144, 192])
    parser.add_argument("--one", type=int, help=argparse.SUPPRESS)
    args = parser.parse_args()
    out = os.path.abspath(args.out)
    os.makedirs(out, exist_ok=True)
    installer = os.path.abspath(args.installer) if args.installer else None
    if args.one:
        one(out, args.one, installer)
        return
    if not os.environ.get("KAVORIN_WINEPREFIX"):
        build = os.path.join(os.path.dirname(HERE), "build", "windows")
        if not os.path.isdir(os.path.join(build, "wineprefix")):
            subprocess.run([os.path.join(HERE, "wine-prefix.sh"), build], check=True)
        os.environ["KAVORIN_WINEPREFIX"] = os.path.join(build, "wineprefix")
    for dpi in args.dpi:
        cmd = [os.path.join(HERE, "wine-prefix-copy.sh"), "shots%d" % dpi, sys.executable,
               os.path.abspath(__file__), out, "--one", str(dpi)]
        if installer:
            cmd += ["--installer", installer]
        subprocess.run(cmd, check=True)


if __name__ == "__main__":
    main()
