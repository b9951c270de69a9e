"""iu.exe under Wine, started through cmd.exe with the installer's exact command lines, against
the TV simulator: what lands in the doLog files (CRLF for the client's own lines, the TV's bytes
unchanged, CRLF or LF) and what the TV saw. A run that ends early explains itself (run_cmd)."""
import hashlib
import itertools
import os
import re
import shutil
import subprocess
import sys
import struct
import tempfile
import time
import warnings

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "host", "bridge"))
from bridge_tv import APP_ID, STAGING, Tv, check_push_log, installer_steps, package_bytes  # noqa: E402

IU = os.environ.get("KAVORIN_IU", "")
TVSIM = os.environ.get("KAVORIN_TVSIM", "")
WINE_RUN = os.path.join(HERE, "..", "..", "..", "tools", "wine-run.sh")
pytestmark = pytest.mark.skipif(
    not (os.path.isfile(IU) and os.path.isfile(TVSIM) and shutil.which("wine")),
    reason="needs KAVORIN_IU (iu.exe), KAVORIN_TVSIM and Wine")


# Wine's exception trace of every client run (with process ids and times), written to the run's
# stderr beside the client's own error lines; fixme noise left out.
RUN_DEBUG = "fixme-all,+seh,+pid,+timestamp"
RUN_NUMBERS = itertools.count(1)
# A line of Wine's own debug output ([time:][pid:]tid:class:channel:...).
WINE_LINE = re.compile(rb"^(?:[0-9.]+:)?[0-9a-f]{4,}:(?:[0-9a-f]{4,}:)?(?:trace|warn|err|fixme):")
# Processor faults: under qemu, a process killed by one of these in code that is not the
# client's own is the emulation's doing.
PROCESSOR_FAULTS = {"c0000005": "access violation", "c000001d": "illegal instruction",
                    "c0000096": "privileged instruction", "c000001e": "invalid lock sequence"}


def wine_env(work, debug="-all"):
    prefix = os.environ.get("KAVORIN_WINEPREFIX") or os.path.join(
        os.environ.get("KAVORIN_BUILD_DIR", os.path.dirname(os.path.dirname(IU))), "wineprefix")
    state = "Z:" + str(work / "state" / "targets").replace("/", "\\")
    return dict(os.environ, WINEPREFIX=prefix, KAVORIN_WINEPREFIX=prefix, WINEDEBUG=debug,
                WINEDLLOVERRIDES="mscoree,mshtml=", KAVORIN_BRIDGE_STATE=state)


def image_range(exe):
    """(first, end) of the addresses the exe's own image takes at its preferred base."""
    with open(exe, "rb") as f:
        head = f.read(4096)
    pe = struct.unpack_from("<I", head, 0x3C)[0]
    base = struct.unpack_from("<I", head, pe + 24 + 28)[0]
    size = struct.unpack_from("<I", head, pe + 24 + 56)[0]
    return base, base + size


def emulation_fault(trace, exe):
    """What in `trace` shows that a run was killed by the emulation, or None.

    Only under qemu (KAVORIN_I386=emulated): qemu's own report of a signal it could not hand
    on, or a processor fault outside the client's own image (the same exe runs this tier
    natively, and the host tier runs its code under the sanitizers, so a fault of its own would
    not be the emulation's)."""
    if os.environ.get("KAVORIN_I386") != "emulated":
        return None
    said = re.search(rb"^qemu[:-][^\n]*", trace, re.M)
    if said:
        return said.group(0).decode(errors="replace")
    first, end = image_range(exe)
    fault = rb"(?:dispatch_exception|handle_syscall_fault) code=([0-9a-f]{8})\S* flags=\S+ addr=(?:0x)?([0-9a-f]+)"
    for m in re.finditer(fault, trace, re.I):
        code, addr = m.group(1).decode().lower(), int(m.group(2), 16)
        if code in PROCESSOR_FAULTS and not first <= addr < end:
            return "%s at %08x" % (PROCESSOR_FAULTS[code], addr)
    return None


@pytest.fixture(scope="module", autouse=True)
def wineserver(tmp_path_factory):
    """A wineserver that stays up between commands. Started here, with no pipes attached: one
    started by a captured command would hold that command's pipes open until it exits. The
    prefix is this tier's own (tools/wine-prefix-copy.sh in CMakeLists.txt): no other test's
    process list holds its iu.exe."""
    env = wine_env(tmp_path_factory.mktemp("wine"))
    server = shutil.which("wineserver") or "/usr/lib/wine/wineserver64"
    # "-p30" in one word: a separate "30" would make the server persist forever.
    subprocess.run([server, "-p30"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
    # Wine's own services start with the first program and keep its stderr and WINEDEBUG: here,
    # not in a run's trace file (with +seh some of them trace without end).
    subprocess.run([WINE_RUN, "cmd.exe", "/c", "exit"], env=env, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    yield


def run_cmd(work, inner, expect=0, log=None, ends=None, timeout=120):
    """cmd.exe /c "<inner>" in the work folder, as the installer starts each step.

    The run must exit with `expect`, and its output (the log it writes, else what it printed)
    must end with `ends` (a regular expression over bytes) when given: the last line a finished
    run prints. A run that ends otherwise fails the test with its exit code, what it printed,
    its log and Wine's exception trace of that very run (its stderr with WINEDEBUG=+seh, kept in
    runs/ of the work folder; the trace of a run that passed is deleted). Only a run that the
    trace shows was killed by the emulation (emulation_fault) is tried once more, with a warning."""
    command = [WINE_RUN, "cmd.exe", "/c", inner]
    runs = work / "runs"
    runs.mkdir(exist_ok=True)
    for attempt in (1, 2):
        trace = runs / ("%03d.txt" % next(RUN_NUMBERS))
        with tempfile.TemporaryFile() as out, open(trace, "wb") as err:
            p = subprocess.run(command, cwd=work, env=wine_env(work, RUN_DEBUG),
                               stdin=subprocess.DEVNULL, stdout=out, stderr=err, timeout=timeout)
            out.seek(0)
            printed = out.read()
        logged = None
        if log and os.path.exists(work / "doLog" / log):
            logged = (work / "doLog" / log).read_bytes()
        output = logged if log else printed
        finished = ends is None or (output is not None and re.search(b"(?:" + ends + rb")\Z", output))
        if p.returncode == expect and finished:
            trace.unlink()
            return printed
        with open(trace, "rb") as f:
            f.seek(max(0, os.path.getsize(trace) - (1 << 20)))
            traced = f.read()
        fault = emulation_fault(traced, work / "iu.exe")
        if attempt == 1 and fault:
            warnings.warn("%s was killed by the emulation (%s; %s); started again" % (inner, fault, trace))
            continue
        # Ends the client never chooses, said as what they are: a Windows process whose unix
        # process was killed (a signal Wine cannot turn into an exception) ends with 0 and no
        # trace; one ended by another program's TerminateProcess, with that program's code (1
        # from the install window tests) and nothing on stderr. The client itself never ends
        # early without a line on stderr.
        said = [line for line in traced.splitlines() if not WINE_LINE.match(line)]
        if p.returncode == 0 and not finished:
            how = "; exit code 0 without the last line is how a run ends whose unix process was killed"
        elif not said and p.returncode != expect:
            how = "; nothing on stderr: the run was ended from outside (TerminateProcess)"
        else:
            how = ""
        raise AssertionError(
            "%s exited with %d (expected %d)%s%s\n--- printed:\n%r\n--- its log:\n%r\n"
            "--- Wine's trace and the client's stderr (%s):\n%s" % (
                inner, p.returncode, expect,
                "" if finished else ", and its output does not end with %r" % ends, how,
                printed, logged, trace, traced.decode(errors="replace")[-6000:] or "(empty)"))


def run_installation(work, serial, staging, codes=(0,) * 11, ends=None):
    """The eleven command lines; `codes` are the client's exit codes, one a line, and `ends` the
    last line each log (or, for a command without one, its first word's output) must end with."""
    ends = ends or {}
    os.makedirs(work / "doLog", exist_ok=True)
    for (line, log), code in zip(installer_steps(serial, staging), codes, strict=True):
        inner = "iu.exe " + line + ((" > doLog\\" + log) if log else "")
        run_cmd(work, inner, code, log, ends.get(log or line.split()[0]))
    logs = {}
    for name in os.listdir(work / "doLog"):
        logs[name] = (work / "doLog" / name).read_bytes()
    return logs


@pytest.fixture
def work(tmp_path):
    shutil.copy(IU, tmp_path / "iu.exe")
    return tmp_path


@pytest.fixture
def tv_factory(tmp_path_factory):
    started = []

    def start(scenario, *extra):
        tv = Tv(TVSIM, str(tmp_path_factory.mktemp("tv")), scenario, *extra)
        started.append(tv)
        return tv

    yield start
    for tv in started:
        tv.stop()


def finished_ends(serial, eol, tizen):
    """The last line of each log of a whole installation that went well."""
    return {"kill-server": rb"info: Server is not running\r\n",
            "step1.txt": re.escape(("connected to %s\r\n" % serial).encode()),
            "step2.txt": rb"\tUA32N4200\r\n",
            "step3.txt": rb"Installation Path: [^\r\n]+" + eol,
            "step4.txt": rb"cmd_ret:0" + eol,
            "step5.txt": rb"bytes in \d+\.\d+s\)\r\n",
            "step6.txt": rb"cmd_ret:0" + eol,
            "step7.txt": (rb"\t=+" if tizen == "4.0" else rb" ") + eol}


# A TV's terminal gives CRLF (the default), older recordings LF; the 2.4 set sits on another
# loopback address, as `make run` puts it.
@pytest.mark.parametrize("tizen,scenario,eol,address", [("4.0", "success", b"\r\n", "127.0.0.1"),
                                                        ("2.4", "lf", b"\n", "127.0.0.2")])
def test_installation_logs(work, tv_factory, tizen, scenario, eol, address):
    tv = tv_factory(scenario, "--tizen", tizen, "--address", address)
    data, real = package_bytes()
    (work / "KAVORIN.wgt").write_bytes(data)
    s = tv.serial
    assert s.startswith(address + ":")
    logs = run_installation(work, s, STAGING[tizen], ends=finished_ends(s, eol, tizen))

    assert sorted(logs) == ["step%d.txt" % i for i in range(1, 8)]
    assert logs["step1.txt"] == ("connecting to %s ...\r\nconnected to %s\r\n" % (s, s)).encode()
    assert logs["step2.txt"] == ("List of devices attached \r\n" + s.ljust(20) +
                                 "\tdevice    \tUA32N4200\r\n").encode()
    # The TV's own bytes are not translated: neither LF made CRLF nor CRLF made CR CR LF.
    for name in ("step3.txt", "step4.txt", "step6.txt", "step7.txt"):
        assert logs[name].count(b"\n") == logs[name].count(eol) > 0, name
        assert b"\r\r" not in logs[name], name
    check_push_log(logs["step5.txt"].decode(), len(data), "\r\n")
    if real:
        assert ("app_id[%s] install completed" % APP_ID).encode() in logs["step6.txt"]
        assert APP_ID.encode() in logs["step7.txt"]

    assert tv.problems() == []
    push = tv.events("push")
    assert len(push) == 1 and push[0]["status"] == "ok"
    assert push[0]["sha256"] == hashlib.sha256(data).hexdigest()
    assert push[0]["path"] == STAGING[tizen] + "/KAVORIN.wgt"
    services = [e["service"] for e in tv.events("open") if e["service"] != "capability:"]
    assert services[1] == "shell:0 vd_appuninstall %s; echo cmd_ret:$?;" % APP_ID
    assert all(not e.get("open_streams") for e in tv.events("closed"))
    # Both forms of the capability answer were met.
    assert {e["writes"] for e in tv.events("capability")} == {1, 2}
    # Nothing of the client is left running: the exe can be replaced at once.
    (work / "iu.exe").write_bytes(b"")


def test_wrong_host_run_finishes_and_says_so(work, tv_factory):
    tv = tv_factory("wrong-host")
    (work / "KAVORIN.wgt").write_bytes(b"x" * 100)
    start = time.monotonic()
    # Refused connect, then every TV command fails: 1, and 255 for a push with no sync channel.
    s = tv.serial
    logs = run_installation(work, s, STAGING["2.4"], (0, 1, 0, 1, 1, 1, 255, 1, 1, 1, 0),
                            {"kill-server": rb"info: Server is not running\r\n",
                             "step1.txt": re.escape(("failed to connect to %s\r\n" % s).encode())})
    assert time.monotonic() - start < 180
    assert logs["step1.txt"] == ("connecting to %s ...\r\nfailed to connect to %s\r\n" % (s, s)).encode()
    assert logs["step2.txt"] == b"List of devices attached \r\n"
    for name in ("step3.txt", "step4.txt", "step5.txt", "step6.txt", "step7.txt"):
        assert logs[name] == b"", name
