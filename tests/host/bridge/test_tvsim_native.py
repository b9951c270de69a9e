"""The native client binary against the independent TV simulator: the installer's command lines
and the simulator's failure scenarios, with every byte the TV saw checked in its journal."""
import hashlib
import os
import socket
import subprocess
import sys
import time

import pytest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bridge_tv import APP_ID, STAGING, Tv, check_push_log, free_port, installer_steps, package_bytes  # noqa: E402

IU = os.environ.get("KAVORIN_IU", "")
TVSIM = os.environ.get("KAVORIN_TVSIM", "")
pytestmark = pytest.mark.skipif(not (os.path.isfile(IU) and os.path.isfile(TVSIM)),
                                reason="KAVORIN_IU and KAVORIN_TVSIM name the client and tvsim.py")


@pytest.fixture
def work(tmp_path):
    return tmp_path


@pytest.fixture
def tv_factory(work):
    started = []

    def start(scenario="success", *extra):
        d = work / ("tv%d" % len(started))
        d.mkdir()
        tv = Tv(TVSIM, str(d), scenario, *extra)
        started.append(tv)
        return tv

    yield start
    for tv in started:
        tv.stop()


def iu(work, line, timeout=90, env_extra=None):
    """Runs the client as the shell would split `line`; returns (exit code, stdout, stderr)."""
    env = dict(os.environ, KAVORIN_BRIDGE_STATE=str(work / "state" / "targets"))
    env.update(env_extra or {})
    p = subprocess.run([IU] + line.split(), cwd=work, env=env, capture_output=True, timeout=timeout)
    return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")


# Shell output in CRLF (a TV's terminal, the default) and in LF (older recordings).
@pytest.mark.parametrize("tizen,scenario,eol", [("2.4", "lf", "\n"), ("4.0", "success", "\r\n")])
def test_installation_sequence(work, tv_factory, tizen, scenario, eol):
    tv = tv_factory(scenario, "--tizen", tizen)
    data, real = package_bytes()
    (work / "KAVORIN.wgt").write_bytes(data)
    staging = STAGING[tizen]
    logs = {}
    for line, log in installer_steps(tv.serial, staging):
        code, out, err = iu(work, line)
        assert code == 0, (line, out, err)
        if log:
            logs[log] = out

    assert logs["step1.txt"] == "connecting to %s ...\nconnected to %s\n" % (tv.serial, tv.serial)
    assert logs["step2.txt"] == ("List of devices attached \n" + tv.serial.ljust(20) +
                                 "\tdevice    \tUA32N4200\n")
    assert logs["step3.txt"].strip() != ""
    assert logs["step4.txt"].endswith("cmd_ret:0" + eol)
    check_push_log(logs["step5.txt"], len(data), "\n")
    assert logs["step6.txt"].endswith("cmd_ret:0" + eol)
    for name in ("step3.txt", "step4.txt", "step6.txt", "step7.txt"):
        assert logs[name].count("\n") == logs[name].count(eol) > 0, name   # passed unchanged
    if real:
        assert "app_id[%s] install completed" % APP_ID in logs["step6.txt"]
        assert APP_ID in logs["step7.txt"]

    assert tv.problems() == []
    services = [e["service"] for e in tv.events("open") if e["service"] != "capability:"]
    wgt = staging + "/KAVORIN.wgt"
    assert services == [
        "shell:0 getappinstallpath",
        "shell:0 vd_appuninstall %s; echo cmd_ret:$?;" % APP_ID,
        "shell:0 mkdir " + staging,
        "sync:",
        "shell:0 vd_appinstall %s %s; echo cmd_ret:$?;" % (APP_ID, wgt),
        "shell:0 rmfile " + wgt,
        "shell:0 applist",
    ]
    push = tv.events("push")
    assert len(push) == 1 and push[0]["status"] == "ok"
    assert push[0]["path"] == wgt
    assert push[0]["size"] == len(data)
    assert push[0]["sha256"] == hashlib.sha256(data).hexdigest()
    assert push[0]["mode"] == 33261
    assert push[0]["mtime"] == int(os.stat(work / "KAVORIN.wgt").st_mtime)
    assert all(e["banner"].startswith("host::") and e["nul_terminated"] for e in tv.events("cnxn"))
    # Every command ended its connection with no stream left open on the TV.
    assert all(not e.get("open_streams") for e in tv.events("closed"))
    assert {e["writes"] for e in tv.events("capability")} == {1, 2}  # both forms of the answer
    assert not (work / "state" / "targets").exists()  # kill-server forgot the TV


def test_refused_and_wrong_host(work, tv_factory):
    port = free_port()
    code, out, _ = iu(work, "connect 127.0.0.1:%d" % port)
    assert (code, out) == (1, "error: failed to connect to remote target '127.0.0.1'\n")

    tv = tv_factory("wrong-host")
    start = time.monotonic()
    code, out, _ = iu(work, "connect " + tv.serial)
    assert time.monotonic() - start < 15
    assert code == 1
    assert out == "connecting to %s ...\nfailed to connect to %s\n" % (tv.serial, tv.serial)
    code, out, err = iu(work, "shell 0 getappinstallpath")
    assert (code, out, err) == (1, "", "error: target not found\n")
    code, out, err = iu(work, "push KAVORIN.wgt /opt/usr/apps/tmp/KAVORIN.wgt")
    assert code == 255
    assert err.endswith("fatal: failed to open sync channel: connection fails\n")


# The TV tells a failed write (no space, no rights) only after all the data, then closes the stream
# without answering DONE; a dropped connection ends the push midway.
@pytest.mark.parametrize("scenario,remote,reason", [
    ("no-space", STAGING["2.4"], "No space left on device"),
    ("success", STAGING["4.0"], "Permission denied"),
    ("drop-push", STAGING["2.4"], None)])
def test_failed_push_is_reported(work, tv_factory, scenario, remote, reason):
    tv = tv_factory(scenario, "--tizen", "2.4")
    (work / "KAVORIN.wgt").write_bytes(os.urandom(300000))
    assert iu(work, "connect " + tv.serial)[0] == 0
    code, out, err = iu(work, "push KAVORIN.wgt %s/KAVORIN.wgt" % remote)
    assert code == 1, (out, err)
    assert "file(s) pushed" not in out
    if reason:
        assert err == "error: failed to close '%s/KAVORIN.wgt': %s\n" % (remote, reason)
        assert [e["size"] for e in tv.events("push")] == [300000]   # told after all the data
    else:
        assert err.startswith("error: failed to push 'KAVORIN.wgt': ")
    assert [e for e in tv.events("push") if e["status"] == "ok"] == []
    assert tv.problems() == []


def test_install_failure_text_reaches_the_log(work, tv_factory):
    tv = tv_factory("install-cert-fail", "--tizen", "2.4")
    data, _ = package_bytes()
    (work / "KAVORIN.wgt").write_bytes(data)
    assert iu(work, "connect " + tv.serial)[0] == 0
    assert iu(work, "push KAVORIN.wgt /opt/usr/apps/tmp/KAVORIN.wgt")[0] == 0
    code, out, _ = iu(work, "shell 0 vd_appinstall %s /opt/usr/apps/tmp/KAVORIN.wgt; echo cmd_ret:$?;"
                      % APP_ID)
    assert code == 0
    assert "install failed[118" in out
    assert out.endswith("cmd_ret:0\r\n")


def test_crlf_output_passes_unchanged(work, tv_factory):
    tv = tv_factory("crlf", "--tizen", "2.4")
    assert iu(work, "connect " + tv.serial)[0] == 0
    p = subprocess.run([IU, "shell", "0", "vd_appuninstall", APP_ID + ";", "echo", "cmd_ret:$?;"],
                       cwd=work, capture_output=True, timeout=60,
                       env=dict(os.environ, KAVORIN_BRIDGE_STATE=str(work / "state" / "targets")))
    assert p.returncode == 0
    assert p.stdout.endswith(b"cmd_ret:0\r\n")
    assert b"\r\r\n" not in p.stdout


def test_slow_tv_and_large_payload(work, tv_factory):
    tv = tv_factory("slow", "--delay", "1", "--max-payload", "262144", "--tizen", "2.4")
    data = os.urandom(3 * 1024 * 1024 + 5)
    (work / "KAVORIN.wgt").write_bytes(data)
    assert iu(work, "connect " + tv.serial)[0] == 0
    code, out, err = iu(work, "push KAVORIN.wgt /opt/usr/apps/tmp/KAVORIN.wgt")
    assert code == 0, err
    check_push_log(out, len(data), "\n")
    code, out, _ = iu(work, "shell 0 vd_appuninstall %s; echo cmd_ret:$?;" % APP_ID)
    assert code == 0 and out.endswith("cmd_ret:0\r\n")
    push = tv.events("push")
    assert push[0]["status"] == "ok" and push[0]["sha256"] == hashlib.sha256(data).hexdigest()
    assert tv.problems() == []


def test_push_into_a_directory(work, tv_factory):
    # The TV refuses a file over a directory only after all its data, as every failed write;
    # the client then asks a STAT and sends the file again under its own name, counted once.
    tv = tv_factory("success", "--tizen", "2.4")
    data = os.urandom(300000)
    (work / "KAVORIN.wgt").write_bytes(data[::-1])
    assert iu(work, "connect " + tv.serial)[0] == 0
    assert iu(work, "push KAVORIN.wgt /opt/usr/apps/tmp/KAVORIN.wgt")[0] == 0
    (work / "KAVORIN.wgt").write_bytes(data)
    code, out, err = iu(work, "push KAVORIN.wgt /opt/usr/apps/tmp")
    assert code == 0, err
    check_push_log(out, len(data), "\n")
    push = tv.events("push")
    assert [p["status"] for p in push] == ["ok", "failed", "ok"]
    assert push[2]["path"] == "/opt/usr/apps/tmp/KAVORIN.wgt"
    assert push[2]["sha256"] == hashlib.sha256(data).hexdigest()
    assert tv.problems() == []
    assert all(not e.get("open_streams") for e in tv.events("closed"))


def test_stalled_tv_times_out(work, tv_factory):
    # A TV that takes the connection and never answers the handshake.
    with socket.socket() as silent:
        silent.bind(("127.0.0.1", 0))
        silent.listen(1)
        serial = "127.0.0.1:%d" % silent.getsockname()[1]
        start = time.monotonic()
        code, out, _ = iu(work, "connect " + serial)
        assert code == 1 and out.endswith("failed to connect to %s\n" % serial)
        assert time.monotonic() - start < 15
    # A slow TV is slow to serve, not to shake hands: it connects at once.
    tv = tv_factory("slow", "--delay", "20", "--tizen", "2.4")
    start = time.monotonic()
    assert iu(work, "connect " + tv.serial) == (0, "connecting to %s ...\nconnected to %s\n"
                                                % (tv.serial, tv.serial), "")
    assert time.monotonic() - start < 10
