#!/usr/bin/python3
"""Figures of one successful end-to-end installation under Wine (a benchmark, never a test).

    /usr/bin/python3 bench/e2e/bench_e2e.py [--runs N] [--build DIR]

Starts the installer built in DIR (default build/windows) in a fresh folder, types 127.0.0.1,
picks the series and presses Install against the TV simulator, as the e2e tier does, and
prints how the wall time splits: Wine start-up (process start to window shown), the eleven
commands (the bar leaving for 2 to the bar reaching 100; per command from the bar's steps),
the simulated user input, and the rest. Runs under xvfb-run by itself when there is no display.
"""
import argparse
import os
import shutil
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
sys.path.insert(0, os.path.join(ROOT, "tests"))
import harness  # noqa: E402
import install_sequence  # noqa: E402

# Bar position while each command runs (command 0 runs at 2, the end is 100), and each command's
# name, from the installer's own rows.
BAR_OF_COMMAND = install_sequence.bar_while_running()
COMMANDS = [row["args"].split()[2] if row["args"].startswith("shell ") else row["args"].split()[0]
            for row in install_sequence.rows()]


def one_run(paths, probe, base, texts):
    work = os.path.join(base, "work")
    os.makedirs(work)
    tv = harness.Tv(paths, os.path.join(base, "tv"), "success")
    app = None
    try:
        t_start = time.monotonic()
        app = harness.Installer(paths, probe, work)
        t_shown = app.shown
        harness.start_install(app)
        t_pressed = time.monotonic()

        # Follow the bar as closely as the probe allows; note when each position is first seen.
        seen, polls = {}, []
        done = {texts["DoneText"][0], texts["FailedText"][0]}
        deadline = time.monotonic() + 120
        while time.monotonic() < deadline:
            t0 = time.monotonic()
            win = probe.bar()
            t1 = time.monotonic()
            polls.append(t1 - t0)
            seen.setdefault(win.bar_pos, t1)
            if win.bar_pos == 100 and win.status_text in done:
                break
        else:
            raise TimeoutError("the run did not finish")
        t_done = time.monotonic()
        if win.status_text != texts["DoneText"][0]:
            raise RuntimeError("the run failed: " + win.status_text)
        installs = tv.events("install")
        if [i["ok"] for i in installs] != [True]:
            raise RuntimeError("the TV did not install the widget")
        journal = tv.events()
        opened = [e["t"] for e in journal if e["event"] == "accepted"]
        closed = [e["t"] for e in journal if e["event"] == "closed"]
        return {
            "total": t_done - t_start,
            "startup": t_shown - t_start,
            "input": t_pressed - t_shown,
            "commands": seen[100] - seen.get(2, t_pressed),
            "before_commands": seen.get(2, t_pressed) - t_pressed,
            "per_command": [seen.get(BAR_OF_COMMAND[i + 1] if i + 1 < len(BAR_OF_COMMAND) else 100, 0)
                            - seen.get(BAR_OF_COMMAND[i], 0) for i in range(len(BAR_OF_COMMAND))],
            "tv_span": (max(closed) - min(opened)) if opened and closed else 0.0,
            "poll": statistics.median(polls),
        }
    finally:
        if app:
            app.stop()
        tv.stop()


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "windows"))
    args = ap.parse_args()
    if not os.environ.get("DISPLAY"):
        os.execvp("xvfb-run", ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24",
                               "/usr/bin/python3", os.path.abspath(__file__), *sys.argv[1:]])
    os.environ.setdefault("KAVORIN_BUILD_DIR", os.path.abspath(args.build))
    paths = harness.Paths()
    missing = paths.missing()
    if missing:
        sys.exit("cannot run: " + "; ".join(missing))
    texts = harness.texts()
    lock = harness.PortLock()
    started = harness.start_wineserver(paths)
    probe = harness.Probe(paths)
    results = []
    try:
        for n in range(args.runs):
            base = tempfile.mkdtemp(prefix="kavorin-bench-e2e-")
            try:
                results.append(one_run(paths, probe, base, texts))
            finally:
                shutil.rmtree(base, ignore_errors=True)
    finally:
        probe.close()
        if started:
            harness.stop_wineserver(paths)
        lock.release()

    def med(key):
        return statistics.median(r[key] for r in results)

    total, startup, commands, user = med("total"), med("startup"), med("commands"), med("input")
    print("One successful end-to-end installation under Wine (median of %d runs; %s)" %
          (len(results), os.path.basename(paths.installer)))
    print("  wall time, process start to done text   %6.2f s" % total)
    print("  Wine start-up, start to window shown     %6.2f s  (%4.1f %%)" % (startup, 100 * startup / total))
    print("  eleven commands, bar 2 to bar 100        %6.2f s  (%4.1f %%)" % (commands, 100 * commands / total))
    print("  simulated user input (type, 2 clicks)    %6.2f s  (%4.1f %%)" % (user, 100 * user / total))
    rest = total - startup - commands - user
    print("  rest (payloads, status, poll latency)    %6.2f s  (%4.1f %%)" % (rest, 100 * rest / total))
    print("    of which click on Install to bar at 2  %6.2f s  (payloads written)" % med("before_commands"))
    print("  TV side, first connection to last close  %6.2f s  (commands 1 to 9)" % med("tv_span"))
    print("  probe resolution (one bar read)         %6.3f s" % med("poll"))
    print("  per command (median, s):")
    for i, name in enumerate(COMMANDS):
        print("    %2d %-18s %5.2f" % (i, name, statistics.median(r["per_command"][i] for r in results)))
    print("  each run, wall time (s):    " + " ".join("%5.2f" % r["total"] for r in results))
    print("  each run, Wine start-up (s): " + " ".join("%5.2f" % r["startup"] for r in results) +
          "  (the first starts the desktop process of a fresh wineserver)")


if __name__ == "__main__":
    main()
