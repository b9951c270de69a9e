"""Helpers shared by the bridge client's tests against the TV simulator (native and Wine)."""
import importlib.util
import os
import signal
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
import install_sequence  # noqa: E402

APP_ID = "Qw7TzLp2Xe.KAVORIN"
STAGING = {"2.4": "/opt/usr/apps/tmp", "4.0": "/home/owner/share/tmp/sdk_tools/tmp"}


def free_port():
    """A port on 127.0.0.1 that nobody listens on right now."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Tv:
    """tvsim.py as a separate process on a free loopback port (of 127.0.0.1 unless `--address`
    is among `extra`)."""

    def __init__(self, tvsim, workdir, scenario="success", *extra):
        self.dir = workdir
        self.journal = os.path.join(workdir, "journal.jsonl")
        # The simulator's own journal reader: tvsim.py owns the journal's format.
        found = importlib.util.spec_from_file_location("tvsim", tvsim)
        module = importlib.util.module_from_spec(found)
        found.loader.exec_module(module)
        self.read_journal = module.read_journal
        self.root = os.path.join(workdir, "tvroot")
        ready = os.path.join(workdir, "ready")
        cmd = ["/usr/bin/python3", tvsim, "--port", "0", "--scenario", scenario,
               "--root", self.root, "--journal", self.journal, "--ready-file", ready,
               "--exit-after-seconds", "300", *extra]
        self.proc = subprocess.Popen(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        deadline = time.monotonic() + 20
        while not os.path.exists(ready):
            if self.proc.poll() is not None or time.monotonic() > deadline:
                err = self.proc.stderr.read().decode(errors="replace") if self.proc.poll() is not None else ""
                self.stop()
                raise RuntimeError("tvsim did not start: " + err)
            time.sleep(0.05)
        with open(ready) as f:
            self.port = int(f.read().strip())
        self.address = self.read_journal(self.journal)[0]["address"]
        self.serial = "%s:%d" % (self.address, self.port)

    def events(self, name=None):
        return [e for e in self.read_journal(self.journal) if name is None or e.get("event") == name]

    def problems(self):
        """Protocol mistakes the TV saw from us, and simulator failures."""
        return [e for e in self.events() if e.get("event") in ("violation", "internal-error")]

    def stop(self):
        if self.proc.poll() is None:
            self.proc.send_signal(signal.SIGTERM)
            try:
                self.proc.wait(10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.proc.stderr.close()


def installer_steps(serial, staging):
    """The installer's eleven client command lines, each with the log file it writes (or None)."""
    address, port = serial.rsplit(":", 1)
    return install_sequence.steps(address, port, APP_ID, "KAVORIN", staging)


def package_bytes():
    """The real widget package when the host build made one, else stand-in bytes."""
    path = os.environ.get("KAVORIN_WGT", "")
    if path and os.path.isfile(path):
        with open(path, "rb") as f:
            return f.read(), True
    return os.urandom(14990), False


def check_push_log(text, size, eol):
    """The four push lines with `eol` line ends (speeds vary and are not compared)."""
    lines = text.split(eol)
    assert lines[-1] == "", repr(text)
    assert lines[0] == ("WARNING: Your data are to be sent over an unencrypted connection and "
                        "could be read by others."), repr(text)
    # A push of more than a second also shows its progress before the final 100 % line.
    assert lines[1].startswith("\rpushed "), repr(lines[1])
    final = lines[1].split("\r")[-1]
    assert final.startswith("pushed " + "KAVORIN.wgt".rjust(30) + "\t100%\t"), repr(lines[1])
    assert final.endswith("KB/s")
    assert lines[2] == "1 file(s) pushed. 0 file(s) skipped."
    assert lines[3].startswith("KAVORIN.wgt".ljust(30) + "   ")
    assert ("KB/s (%d bytes in " % size) in lines[3]
    assert len(lines) == 5
