"""From the end of a failed run (the status shows FailedText) to the box that says why: for a TV
that answers the installer's questions, and for one that never does (the bound). Figures only:

    tools/i386-run.sh xvfb-run -a /usr/bin/python3 bench/e2e/bench_diagnosis.py [--runs N]

The TV that answers is the simulator's host-ip-other on 127.0.0.1; the silent one is a listener
on 127.0.0.3 whose accept queue is full, so nothing there ever answers."""
import argparse
import os
import socket
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "e2e"))
import harness  # noqa: E402


def silent_listener(address, port):
    """A listening socket that accepts nothing: its queue is filled by connects of our own."""
    sockets = [socket.socket()]
    sockets[0].bind((address, port))
    sockets[0].listen(0)
    for _ in range(4):
        c = socket.socket()
        c.setblocking(False)
        try:
            c.connect((address, port))
        except BlockingIOError:
            pass
        sockets.append(c)
    return sockets


def status_to_box(paths, probe, texts, address):
    app = harness.Installer(paths, probe, tempfile.mkdtemp())
    try:
        harness.start_install(app, address=address)
        app.wait_bar_and_status(lambda pos, text: text == texts["FailedText"][0], 200, "the failure")
        start = time.monotonic()
        box = app.wait_box(30)
        took = time.monotonic() - start
        app.dismiss_box(box)
        app.close()
        app.wait_clean_exit(20)
        return took
    finally:
        app.stop()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--runs", type=int, default=2)
    runs = ap.parse_args().runs
    paths = harness.Paths()
    texts = harness.texts()
    lock = harness.PortLock()
    started = harness.start_wineserver(paths)
    probe = harness.Probe(paths)
    answers, silent = [], []
    try:
        for _ in range(runs):
            tv = harness.Tv(paths, tempfile.mkdtemp(), "host-ip-other")
            try:
                answers.append(status_to_box(paths, probe, texts, "127.0.0.1"))
            finally:
                tv.stop()
            keep = silent_listener("127.0.0.3", harness.TV_PORT) + silent_listener("127.0.0.3", harness.REST_PORT)
            try:
                silent.append(status_to_box(paths, probe, texts, "127.0.0.3"))
            finally:
                for s in keep:
                    s.close()
    finally:
        probe.close()
        if started:
            harness.stop_wineserver(paths)
        lock.release()
    # Polled every 50 ms: a figure under that reads as 0.
    print("failed status to the box, TV answers       %s s" % " ".join("%.2f" % t for t in answers))
    print("failed status to the box, TV never answers %s s" % " ".join("%.2f" % t for t in silent))


if __name__ == "__main__":
    main()
