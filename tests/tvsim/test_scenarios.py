"""Scenario switches and the command line."""

import os
import signal
import socket
import subprocess
import sys
import time

import pytest

import pkgbuild
import tvsim
from minisdb import Closed, Link, lines
from tvsim import A_CLSE, A_OKAY
from pkgbuild import APP_ID, PKG_PATH, STAGE, install_command

TVSIM = os.path.join(os.path.dirname(os.path.abspath(__file__)), "tvsim.py")


@pytest.mark.parametrize("kw", [dict(scenario="wrong-host"), dict(wrong_host=True)])
def test_wrong_host_closes_right_after_accept(make_sim, kw):
    sim = make_sim(**kw)
    with Link(sim.port) as c:
        assert c.wait_closed(timeout=2)
    closed = sim.events("closed")
    assert closed and "wrong-host" in closed[0]["reason"]
    assert sim.events("cnxn") == []


def test_install_cert_fail_refuses_a_good_package(make_sim):
    sim = make_sim(scenario="install-cert-fail")
    with Link(sim.port) as c:
        c.handshake()
        assert c.push(pkgbuild.build(), PKG_PATH) == (True, "")
        out = lines(c.shell(install_command()))
    assert "app_id[%s] install failed[118, -12], reason: Check certificate error" % APP_ID in out
    assert out[-1] == "cmd_ret:0"
    assert sim.installed() == {}


def test_no_space_fails_the_push(make_sim):
    sim = make_sim(scenario="no-space")
    with Link(sim.port) as c:
        c.handshake()
        c.shell("0 mkdir " + STAGE)
        assert c.push(b"p" * 200000, PKG_PATH) == (False, "No space left on device")
        # As the daemon: the FAIL comes after all the data, then the TV closes the stream
        # without an answer to DONE.
        assert c.last_push == {"before_done": b"", "after_status": b""}
        assert c.shell("0 getappinstallpath")          # the connection stays usable
    assert not sim.tv_exists(PKG_PATH)
    push = sim.events("push")[-1]
    assert push["status"] == "failed" and push["reason"] == "No space left on device"
    assert sim.violations() == []


def test_drop_push_drops_in_the_middle_of_data(make_sim):
    sim = make_sim(scenario="drop-push")
    with Link(sim.port) as c:
        c.handshake()
        with pytest.raises(Closed):
            c.push(b"d" * 100000, PKG_PATH)
    for _ in range(50):
        if sim.events("push"):
            break
        time.sleep(0.02)
    assert sim.events("push")[-1]["status"] == "dropped"
    assert not sim.tv_exists(PKG_PATH)
    with Link(sim.port) as c:                          # the TV itself keeps running
        c.handshake()
        assert c.shell("0 getappinstallpath")


def shake_hands(c, scenario):
    """The handshake; False where the TV leaves it unanswered (stall-connect)."""
    if scenario == "stall-connect":
        with pytest.raises(socket.timeout):
            c.handshake()
        return False
    c.handshake()
    return True


@pytest.mark.parametrize("scenario", tvsim.STALLS)
def test_a_tv_that_stops_answering_keeps_the_connection_and_says_nothing_more(make_sim, scenario):
    sim = make_sim(scenario=scenario)
    with Link(sim.port, timeout=1) as c:
        if shake_hands(c, scenario) and scenario == "stall-push":
            with pytest.raises(socket.timeout):   # the first file data is never acknowledged
                c.push(pkgbuild.build(), PKG_PATH)
        elif scenario == "stall-install":
            assert c.push(pkgbuild.build(), PKG_PATH) == (True, "")
            local, dev = c.open("shell:" + install_command())
            with pytest.raises(socket.timeout):   # no end, no CLSE
                while True:
                    c._pump(local, dev)
            assert lines(c.replies[local])[-1] == "app_id[%s] install start" % APP_ID
        assert not c.wait_closed(timeout=0.5)          # the connection stays open
    assert [e["reason"].split(":")[0] for e in sim.events("stall")] == ["scenario " + scenario]
    assert sim.installed() == {}
    # A new connection: the stalled handshake stays stalled, else the TV answers again.
    with Link(sim.port, timeout=1) as c:
        if shake_hands(c, scenario):
            assert lines(c.shell("0 getappinstallpath"))
            assert c.shell("0 rmfile " + PKG_PATH) == b""
    assert not sim.tv_exists(PKG_PATH)
    assert sim.violations() == []


def test_slow_answers_and_spread_install_progress(make_sim):
    # The handshake is answered at once, as by the daemon of a slow TV.
    with Link(make_sim(scenario="slow", delay=30).port) as c:
        t0 = time.monotonic()
        c.handshake()
        assert time.monotonic() - t0 < 10
    sim = make_sim(scenario="slow", delay=0.3)
    with Link(sim.port) as c:
        c.handshake()
        t0 = time.monotonic()
        assert c.push(pkgbuild.build(), PKG_PATH) == (True, "")
        assert time.monotonic() - t0 >= 0.6             # the OPEN answer and the DONE reply
        t0 = time.monotonic()
        local, dev = c.open("shell:" + install_command())
        assert time.monotonic() - t0 >= 0.3
        arrivals = []
        while True:
            command, _, _, data = c.recv()
            if command == A_CLSE:
                break
            arrivals.append((time.monotonic(), data.decode()))
            c.send(A_OKAY, local, dev)
    text = "".join(d for _, d in arrivals)
    assert "app_id[%s] install completed" % APP_ID in text
    first = next(t for t, d in arrivals if "installing[8]" in d)
    last = next(t for t, d in arrivals if "installing[100]" in d)
    assert last - first >= 0.2                         # progress lines arrive spread out


@pytest.mark.parametrize("scenario,eol", [("success", b"\r\n"), ("crlf", b"\r\n"), ("lf", b"\n")])
def test_shell_line_ends(make_sim, scenario, eol):
    # A TV's shell runs on a terminal: CRLF; scenario lf plays older LF recordings.
    sim = make_sim(scenario=scenario)
    with Link(sim.port) as c:
        c.handshake()
        out = c.shell("0 applist")
    assert out.endswith(eol) and out.count(eol) == out.count(b"\n") == 8


def test_unknown_scenario_and_foreign_addresses_are_refused(tmp_path):
    with pytest.raises(ValueError):
        tvsim.TvSim(root=str(tmp_path), scenario="melt")
    with pytest.raises(ValueError):
        tvsim.TvSim(root=str(tmp_path), capability_writes="three")
    for address in ("0.0.0.0", "10.0.0.2", "192.168.1.20", "128.0.0.1", "::1", "localhost", "127.1"):
        with pytest.raises(ValueError):
            tvsim.TvSim(root=str(tmp_path), address=address)


def test_any_loopback_address(make_sim):
    sim = make_sim(address="127.0.0.2")
    with Link(sim.port, address="127.0.0.2") as c:
        c.handshake()
        assert c.shell("0 getappinstallpath")
    assert sim.events("listening")[0]["address"] == "127.0.0.2"
    with pytest.raises(OSError):                       # nothing on 127.0.0.1 at that port
        Link(sim.port)


def _start_cli(tmp_path, *extra):
    ready = tmp_path / "ready"
    proc = subprocess.Popen(
        [sys.executable, TVSIM, "--port", "0", "--root", str(tmp_path / "tv"),
         "--journal", str(tmp_path / "j.jsonl"), "--ready-file", str(ready), *extra],
        stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    for _ in range(200):
        if ready.exists() or proc.poll() is not None:
            break
        time.sleep(0.025)
    return proc, ready


def test_command_line_run_and_clean_exit_on_sigterm(tmp_path):
    proc, ready = _start_cli(tmp_path, "--scenario", "success", "--max-payload", "262144",
                             "--address", "127.0.0.3")
    try:
        port = int(ready.read_text())
        with Link(port, address="127.0.0.3") as c:
            _, maxdata, _ = c.handshake()
            assert maxdata == 262144
    finally:
        proc.send_signal(signal.SIGTERM)
        rc = proc.wait(timeout=10)
    assert rc == 0
    events = tvsim.read_journal(str(tmp_path / "j.jsonl"))
    kinds = [e["event"] for e in events]
    assert kinds[0] == "listening" and "cnxn" in kinds and "closed" in kinds
    assert [e["reason"] for e in events if e["event"] == "exit"] == ["SIGTERM"]
    assert kinds[-1] == "stopped"


def test_command_line_exits_by_itself(tmp_path):
    proc, _ = _start_cli(tmp_path, "--exit-after-seconds", "0.3")
    assert proc.wait(timeout=10) == 0
    events = tvsim.read_journal(str(tmp_path / "j.jsonl"))
    assert [e["reason"] for e in events if e["event"] == "exit"] == ["time limit"]


@pytest.mark.parametrize("option", ["--address", "--host"])
def test_command_line_refuses_other_addresses(tmp_path, option):
    proc, ready = _start_cli(tmp_path, option, "0.0.0.0")
    assert proc.wait(timeout=10) == 2
    assert b"listens on loopback (127.0.0.0/8), or on a private address" in proc.stderr.read()
    assert not ready.exists()
