#!/usr/bin/python3
"""The built client binary against the TV simulator on bare loopback: push of a 5 MiB file next to
a raw TCP copy of the same bytes to a Python reader (the simulator is Python too), and connect
plus one shell command as separate processes. Prints numbers; asserts nothing. The simulator
acknowledges each write 5 ms late on purpose (it catches a client that does not wait), so the
push at the TV's usual 4096 bytes is bound by that, not by the client.

usage: bench_tvsim.py <path to iu> [tests/tvsim/tvsim.py] [--max-payload N] [--rows]
(measure a build without sanitizers: build/bench/bridge/iu)"""
import os
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "tests", "host", "bridge"))
from bridge_tv import Tv  # noqa: E402

SIZE = 5 << 20


def raw_copy_seconds(data):
    listener = socket.socket()
    listener.bind(("127.0.0.1", 0))
    listener.listen(1)
    got = [0]

    def reader():
        conn, _ = listener.accept()
        with conn:
            while got[0] < len(data):
                chunk = conn.recv(65536)
                if not chunk:
                    break
                got[0] += len(chunk)

    t = threading.Thread(target=reader)
    t.start()
    start = time.perf_counter()
    with socket.create_connection(listener.getsockname()) as out:
        view = memoryview(data)
        for off in range(0, len(data), 65536):
            out.sendall(view[off:off + 65536])
    t.join()
    listener.close()
    return time.perf_counter() - start


def main():
    iu = os.path.abspath(sys.argv[1])
    tvsim = sys.argv[2] if len(sys.argv) > 2 and not sys.argv[2].startswith("--") else \
        os.path.join(HERE, "..", "..", "tests", "tvsim", "tvsim.py")
    payloads = [sys.argv[sys.argv.index("--max-payload") + 1]] if "--max-payload" in sys.argv \
        else ["4096", "262144"]
    rows = "--rows" in sys.argv
    with tempfile.TemporaryDirectory() as work:
        data = os.urandom(SIZE)
        local = os.path.join(work, "bench.wgt")
        with open(local, "wb") as f:
            f.write(data)
        env = dict(os.environ, KAVORIN_BRIDGE_STATE=os.path.join(work, "targets"))

        def iu_run(*args):
            subprocess.run([iu, *args], env=env, cwd=work, check=True,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)

        print("bridge client binary against tvsim on loopback, %d MiB file" % (SIZE >> 20))
        raw = raw_copy_seconds(data)
        print("  raw TCP copy to a Python reader %7.3f s  %7.1f MiB/s" % (raw, SIZE / 2**20 / raw))
        for payload in payloads:
            d = tempfile.mkdtemp(dir=work)
            tv = Tv(tvsim, d, "success", "--tizen", "2.4", "--max-payload", payload)
            try:
                iu_run("kill-server")
                iu_run("connect", tv.serial)
                start = time.perf_counter()
                iu_run("push", local, "/opt/usr/apps/tmp/bench.wgt")
                s = time.perf_counter() - start
                print("  push, device max %6s          %7.3f s  %7.1f MiB/s  ratio to raw %.3f"
                      % (payload, s, SIZE / 2**20 / s, raw / s))
                if rows:
                    print("@row\tiu push %d MiB to tvsim (bare loopback), max payload %s\t%.3f\tms\t"
                          "raw TCP copy to a Python reader\t%.3f\t\ttvsim acknowledges each write 5 ms late"
                          % (SIZE >> 20, payload, s * 1000, raw * 1000))
                if payload == payloads[0]:
                    times = []
                    for _ in range(10):
                        iu_run("kill-server")
                        start = time.perf_counter()
                        iu_run("connect", tv.serial)
                        iu_run("shell", "0", "getappinstallpath")
                        times.append((time.perf_counter() - start) * 1000)
                    print("  connect + one shell command     median %.1f ms, max %.1f ms (10 runs, "
                          "two processes each)" % (statistics.median(times), max(times)))
                    if rows:
                        print("@row\tiu connect + one shell command to tvsim (bare loopback, two processes)"
                              "\t%.3f\tms\t\t\t\tmax %.1f ms" % (statistics.median(times), max(times)))
            finally:
                tv.stop()
        iu_run("kill-server")


if __name__ == "__main__":
    main()
