#!/usr/bin/python3
"""Runs every benchmark and writes one table, build/bench/report.md: each figure, its anchor, their
ratio and the goal, with the date, the commit, the builds measured and the machine's load
average while it ran. Figures only: nothing here passes or fails. `make bench` calls it after
building; each benchmark's full output is kept in build/bench/logs/.

    /usr/bin/python3 bench/report.py [--only NAME ...]

Benchmarks print "@row<TAB>figure<TAB>value<TAB>unit<TAB>anchor<TAB>anchor value<TAB>goal<TAB>
note" lines; those that do not (start-up, end to end) are read from their printed figures.
"""
import argparse
import datetime
import os
import re
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, ".."))
OUT = os.path.join(ROOT, "build", "bench")
WIN = os.path.join(ROOT, "build", "windows")
I386 = os.path.join(ROOT, "tools", "i386-run.sh")
NETNS = os.path.join(ROOT, "tools", "netns-run.sh")
WINE = os.path.join(ROOT, "tools", "wine-run.sh")
XVFB = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24"]
PY = "/usr/bin/python3"


def startup_rows(text):
    m = re.search(r"installer\s+([\d.]+) ms\s+minimal window\s+([\d.]+) ms", text)
    if not m:
        return []
    rows = [["start to first painted window: KavorinInstaller.exe under Wine", m.group(1), "ms",
             "a minimal 32-bit Win32 window, started the same way", m.group(2), "", ""]]
    same = re.search(r"same controls\s+([\d.]+) ms", text)
    if same:
        rows.append(["start to first painted window: KavorinInstaller.exe under Wine", m.group(1), "ms",
                     "its eighteen controls made straight on Win32 (bench/startup/controls_window.cpp)",
                     same.group(1), "", ""])
    return rows


def e2e_rows(text):
    rows = []
    for label, pattern in (("whole installation under Wine, process start to done text (e2e)",
                            r"wall time, process start to done text\s+([\d.]+) s"),
                           ("of which the eleven commands (e2e)",
                            r"eleven commands, bar 2 to bar 100\s+([\d.]+) s")):
        m = re.search(pattern, text)
        if m:
            rows.append([label, "%.3f" % (float(m.group(1)) * 1000), "ms", "", "", "", "TV simulator, no link delay"])
    return rows


# name, command, seconds allowed, reader for benchmarks without @row lines
STEPS = [
    ("bridge", [os.path.join(OUT, "bench", "bridge", "bench_bridge"), "--rows"], 900, None),
    ("bridge-tvsim", [PY, os.path.join(HERE, "bridge", "bench_tvsim.py"),
                      os.path.join(OUT, "bridge", "iu"), "--rows"], 600, None),
    ("install-tv", [PY, os.path.join(HERE, "install", "run_tv.py"), "--rows"], 1800, None),
    ("install-recorder", [I386] + XVFB + [WINE, os.path.join(WIN, "bench", "install", "install_bench.exe"),
                                          "--rows"], 900, None),
    ("install-server-exit", [I386] + XVFB + [WINE, os.path.join(WIN, "bench", "install", "install_bench.exe"),
                                             "--server-exit", "--rows"], 900, None),
    ("install-bound", [I386] + XVFB + [WINE, os.path.join(WIN, "bench", "install", "install_bench.exe"),
                                       "--bound", "--rows"], 600, None),
    ("tv-probe", [I386] + XVFB + [WINE, os.path.join(WIN, "bench", "install", "probe_bench.exe"), "--rows"],
     300, None),
    ("tv-search", [NETNS, "--lan", "192.168.77.1/24", PY, os.path.join(HERE, "install", "search_bench.py"),
                   "--rows"], 900, None),
    ("startup", [os.path.join(HERE, "startup", "run.sh"), "5"], 600, startup_rows),
    ("e2e", [I386, PY, os.path.join(HERE, "e2e", "bench_e2e.py"), "--runs", "3"], 1200, e2e_rows),
]


class LoadSampler(threading.Thread):
    """The 1-minute load average every 5 s while the benchmarks run."""

    def __init__(self):
        super().__init__(daemon=True)
        self.samples = []
        self.stop = threading.Event()

    def read(self):
        with open("/proc/loadavg") as f:
            return float(f.read().split()[0])

    def run(self):
        while True:
            self.samples.append(self.read())
            if self.stop.wait(5):
                break


def run_step(name, cmd, timeout, reader, logs, load):
    os.makedirs(logs, exist_ok=True)
    log = os.path.join(logs, name + ".log")
    start = time.monotonic()
    first = len(load.samples)
    try:
        p = subprocess.run(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           timeout=timeout)
        text, code = p.stdout.decode("utf-8", "replace"), p.returncode
    except subprocess.TimeoutExpired as e:
        text, code = (e.stdout or b"").decode("utf-8", "replace") + "\n(timed out)", "timeout"
    except OSError as e:
        text, code = str(e), "could not start"
    with open(log, "w") as f:
        f.write(text)
    rows = [line.split("\t")[1:] for line in text.splitlines() if line.startswith("@row\t")]
    if reader:
        rows += reader(text)
    seconds = time.monotonic() - start
    during = load.samples[first:] or [load.read()]
    status = "ok" if code == 0 and rows else "exit %s%s" % (code, "" if rows else ", no figures")
    sys.stdout.write("%-20s %6.0f s  load %.2f-%.2f  %s\n" % (name, seconds, min(during), max(during), status))
    sys.stdout.flush()
    return rows, status, seconds, (min(during), max(during))


def cache_value(build, key):
    try:
        with open(os.path.join(build, "CMakeCache.txt")) as f:
            for line in f:
                if line.startswith(key + ":"):
                    return line.split("=", 1)[1].strip()
    except OSError:
        pass
    return "?"


def number(text):
    try:
        return float(text)
    except (TypeError, ValueError):
        return None


def cell(value, unit):
    v = number(value)
    if v is None:
        return value or ""
    if unit == "ms" and v >= 1000:
        return "%.2f s" % (v / 1000)
    return ("%.1f %s" % (v, unit)).strip() if unit else "%g" % v


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--only", nargs="*", help="run only these steps: " + ", ".join(s[0] for s in STEPS))
    args = ap.parse_args()
    steps = [s for s in STEPS if not args.only or s[0] in args.only]

    git = lambda *a: subprocess.run(["git", *a], cwd=ROOT, capture_output=True, text=True).stdout.strip()
    commit = git("rev-parse", "--short=12", "HEAD")
    dirty = " (with uncommitted changes)" if git("status", "--porcelain", "--untracked-files=no") else ""
    started = datetime.datetime.now(datetime.timezone.utc)
    load = LoadSampler()
    load.start()
    results = []
    for name, cmd, timeout, reader in steps:
        results.append((name,) + run_step(name, cmd, timeout, reader, os.path.join(OUT, "logs"), load))
    load.stop.set()
    load.join()
    finished = datetime.datetime.now(datetime.timezone.utc)
    samples = load.samples

    lines = [
        "# Benchmark report",
        "",
        "Figures, not tests: nothing here passes or fails. Made by `make bench` (bench/report.py);",
        "full output of each benchmark in `build/bench/logs/`.",
        "",
        "- date: %s to %s UTC" % (started.strftime("%Y-%m-%d %H:%M"), finished.strftime("%H:%M")),
        "- commit: %s%s" % (commit, dirty),
        "- machine: %d CPUs, Linux %s; 32-bit code runs %s" % (
            os.cpu_count(), os.uname().release,
            subprocess.run([I386, "--mode"], capture_output=True, text=True).stdout.strip() or "?"),
        "- load average (1 min) while it ran: min %.2f, mean %.2f, max %.2f (%d samples, every 5 s)" % (
            min(samples), sum(samples) / len(samples), max(samples), len(samples)),
        "- builds measured: bridge figures `build/bench` (%s, no sanitizers, native); installer figures "
        "`build/windows` (%s, i686 MinGW: the shipped KavorinInstaller.exe and its iu.exe) under Wine" % (
            cache_value(os.path.join(OUT), "CMAKE_BUILD_TYPE"), cache_value(WIN, "CMAKE_BUILD_TYPE")),
        "- link: `bench/link` emulator on 127.0.0.1, RTT and rate in both directions; the floor counts "
        "round trips × RTT plus every byte over the rate (`bench/bridge/floor.h`)",
        "",
        "| figure | measured | anchor | anchor value | ratio | goal | notes |",
        "|---|---|---|---|---|---|---|",
    ]
    for name, rows, status, seconds, span in results:
        for r in rows:
            r = (r + [""] * 7)[:7]
            figure, value, unit, anchor, anchor_value, goal, note = r
            v, a = number(value), number(anchor_value)
            ratio = "%.3f" % (v / a) if v is not None and a else ""
            mark = ""
            if ratio and number(goal):
                mark = " ✓" if v / a <= float(goal) else " ✗"
            lines.append("| %s | %s | %s | %s | %s | %s | %s |" % (
                figure, cell(value, unit), anchor, cell(anchor_value, unit) if anchor else "",
                ratio + mark, ("≤ %s" % goal) if goal else "", note.replace("|", "/")))
    lines += ["", "| benchmark | seconds | load average during | status |", "|---|---|---|---|"]
    for name, rows, status, seconds, span in results:
        lines.append("| %s | %.0f | %.2f to %.2f | %s |" % (name, seconds, span[0], span[1], status))
    os.makedirs(OUT, exist_ok=True)
    path = os.path.join(OUT, "report.md")
    with open(path, "w") as f:
        f.write("\n".join(lines) + "\n")
    print("wrote %s" % os.path.relpath(path, ROOT))
    return 0


if __name__ == "__main__":
    sys.exit(main())
