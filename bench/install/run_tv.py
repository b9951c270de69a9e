#!/usr/bin/python3
"""The shipped installer and the client inside it against the TV simulator behind the link
emulator: RTT 5 ms, 50 Mbit/s each way (install_bench --tv). A figure, never a test.

    /usr/bin/python3 bench/install/run_tv.py [--rows] [--build build/windows]
                                             [--linkemu build/bench/bench/link/linkemu]

The installer always dials <address>:26101, so the emulator listens on 127.0.0.1:26101 and
forwards to the simulator. All of it runs in a private network namespace (unshare), where that
port is free whatever else runs on the machine, and where loopback is the only network there
is: nothing in the run can reach another address.
"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
sys.path.insert(0, os.path.join(ROOT, "tests", "host", "bridge"))
from bridge_tv import Tv  # noqa: E402

TV_PORT = 26101
RTT_MS = 5
RATE_MBIT = 50


def in_private_netns():
    """Re-runs this script in a network namespace of its own; returns False where unshare fails."""
    if os.environ.get("KAVORIN_BENCH_NETNS") == "1":
        subprocess.run(["ip", "link", "set", "lo", "up"], check=True)
        return True
    env = dict(os.environ, KAVORIN_BENCH_NETNS="1")
    cmd = ["unshare", "--user", "--map-root-user", "--net", sys.executable, os.path.abspath(__file__)]
    probe = subprocess.run(["unshare", "--user", "--map-root-user", "--net", "true"],
                           capture_output=True)
    if probe.returncode != 0:
        return False
    sys.exit(subprocess.run(cmd + sys.argv[1:], env=env).returncode)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--rows", action="store_true")
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "windows"))
    ap.add_argument("--linkemu", default=os.path.join(ROOT, "build", "bench", "bench", "link", "linkemu"))
    args = ap.parse_args()
    build = os.path.abspath(args.build)
    bench = os.path.join(build, "bench", "install", "install_bench.exe")
    for f in (bench, os.path.join(build, "KavorinInstaller.exe"), args.linkemu):
        if not os.path.isfile(f):
            sys.exit("missing %s (make bench builds it)" % f)
    if not in_private_netns():
        print("note: no private network namespace here; using the machine's 127.0.0.1:%d" % TV_PORT)

    subprocess.run([os.path.join(ROOT, "tools", "wine-prefix.sh"), build], check=True)
    with tempfile.TemporaryDirectory(prefix="kavorin-bench-tv-") as work:
        tv = Tv(os.path.join(ROOT, "tests", "tvsim", "tvsim.py"), work, "success", "--tizen", "2.4")
        ready = os.path.join(work, "link.port")
        link = subprocess.Popen([args.linkemu, "--listen", str(TV_PORT), "--to", str(tv.port),
                                 "--rtt-ms", str(RTT_MS), "--rate-mbit", str(RATE_MBIT),
                                 "--ready-file", ready, "--exit-after-seconds", "1800"],
                                stdout=subprocess.DEVNULL)
        try:
            deadline = time.monotonic() + 10
            while not os.path.exists(ready):
                if link.poll() is not None or time.monotonic() > deadline:
                    sys.exit("the link emulator did not start on 127.0.0.1:%d" % TV_PORT)
                time.sleep(0.05)
            cmd = [os.path.join(ROOT, "tools", "i386-run.sh"), "xvfb-run", "-a", "-s",
                   "-screen 0 1280x1024x24", os.path.join(ROOT, "tools", "wine-run.sh"), bench, "--tv"]
            if args.rows:
                cmd.append("--rows")
            code = subprocess.run(cmd, timeout=1800).returncode
            installs = [e for e in tv.events("install") if e.get("ok")]
            problems = tv.problems()
            print("  TV simulator: %d installs completed, %d protocol problems%s" %
                  (len(installs), len(problems), "" if not problems else ": %r" % problems[:3]))
            if args.rows:
                print("@row\tTV simulator (strict): protocol violations seen during the installer runs"
                      "\t%d\t\t\t\t\t%d installs completed" % (len(problems), len(installs)))
            return code
        finally:
            link.terminate()
            link.wait(10)
            tv.stop()


if __name__ == "__main__":
    sys.exit(main())
