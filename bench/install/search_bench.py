#!/usr/bin/python3
"""The network search (SearchTvs in the shipped code, through probe_bench --search) on a LAN of its
own: this PC 192.168.77.1/24, two simulated TVs (REST on 8001), 60 hosts that refuse, and the other
191 addresses silent (no host: the connect is never answered). Once with the TVs answering SSDP,
once without. Figures: the search's wall time and the window's longest delay in answering a
message meanwhile. A figure, never a test.

    tools/netns-run.sh --lan 192.168.77.1/24 /usr/bin/python3 bench/install/search_bench.py [--rows] [--runs N]
"""
import argparse
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
import harness  # noqa: E402

TVS = ["192.168.77.20", "192.168.77.21"]
REFUSING = ["192.168.77.%d" % i for i in range(100, 160)]
XVFB = ["xvfb-run", "-a", "-s", "-screen 0 1280x1024x24"]


# A Wine prefix of its own: Wine lists the adapters in a helper process of the prefix's wineserver,
# which must run on this LAN, not in a namespace where another run started it.
PREFIX_COPY = [os.path.join(ROOT, "tools", "wine-prefix-copy.sh"), "search-bench"]


def search(build, runs):
    exe = os.path.join(build, "bench", "install", "probe_bench.exe")
    env = dict(os.environ, KAVORIN_WINEPREFIX=os.environ.get("KAVORIN_WINEPREFIX") or os.path.join(build, "wineprefix"))
    p = subprocess.run(PREFIX_COPY + XVFB + [harness.WINE_RUN, exe, "--search", str(len(TVS)), "--runs", str(runs)],
                       capture_output=True, text=True, timeout=900, env=env)
    line = next((l for l in p.stdout.splitlines() if l.startswith("search\t")), None)
    if not line:
        raise RuntimeError("probe_bench --search gave no figures (exit %d): %s" % (p.returncode, p.stdout + p.stderr))
    median, longest, worst, found, ssdp, asked, verdict = line.split("\t")[1:]
    return float(median), float(longest), float(worst), int(found), int(ssdp), int(asked), verdict


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--rows", action="store_true")
    ap.add_argument("--runs", type=int, default=5)
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "windows"))
    args = ap.parse_args()
    if not harness.lan():
        sys.exit("run it on a LAN of its own: tools/netns-run.sh --lan 192.168.77.1/24 " + " ".join(sys.argv))
    paths = harness.Paths()
    paths.build = os.path.abspath(args.build)
    subprocess.run(harness.on_lan(["ip", "-batch", "-"]), check=True, text=True, timeout=60,
                   input="".join("addr add %s/24 dev lan0-peer\n" % a for a in REFUSING))
    worst_delay = 0.0
    rows = []
    with tempfile.TemporaryDirectory() as tmp:
        for ssdp in (True, False):
            tvs = [harness.Tv(paths, os.path.join(tmp, "%s-%d" % (ssdp, i)), "success",
                              *([] if ssdp else ["--no-ssdp"]), address=a, limit=1800)
                   for i, a in enumerate(TVS)]
            try:
                median, longest, worst, found, answered, asked, verdict = search(args.build, args.runs)
            finally:
                for tv in tvs:
                    tv.stop()
            worst_delay = max(worst_delay, worst)
            how = "the TVs answer SSDP" if ssdp else "no SSDP answer"
            print("network search, %s: median %.1f ms, longest %.1f ms, window's longest delay %.1f ms; "
                  "%d TVs found, %d answered SSDP, %d hosts asked (%s)" % (
                      how, median, longest, worst, found, answered, asked, verdict))
            note = "%d hosts asked: 2 TVs, %d refuse, the rest silent; %d runs%s" % (
                asked, len(REFUSING), args.runs, "" if verdict == "right" else "; WRONG RESULT")
            rows.append("@row\tnetwork search of a /24, %s\t%.3f\tms\t\t\t%s\t%s" % (
                how, median, "1500" if ssdp else "3000", note))
    rows.append("@row\tlongest delay of the window in answering a message during a search\t%.3f\tms\t\t\t50\t" % worst_delay)
    if args.rows:
        print("\n".join(rows))
    return 0


if __name__ == "__main__":
    sys.exit(main())
