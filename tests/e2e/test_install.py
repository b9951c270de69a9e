"""Whole installations, typed and clicked as a user does: what lands on the TV, in doLog, on the
screen and in the working folder, for a TV that takes the widget and for every way it can fail."""
import os
import shutil
import subprocess

import pytest

import harness
from harness import (APP_ID, LOGS, ROOT, STAGING, folder_state, port_in_use, read_log,
                     sha256_file, start_install)

SERIAL = "127.0.0.1:26101"
# doLog after a run: the seven logs and what the commands wrote to their error stream.
LOGS_AND_ERRORS = sorted(LOGS + ["errors.txt"])
rest = harness.load_tvsim_module("rest")
# Bound of one whole run against a TV that answers at once (eleven commands under Wine).
RUN_LIMIT_S = 90


def finish(app, texts, expected):
    """Waits for the end of the run and checks what the window and the folder show."""
    win = app.wait_finished({texts[expected][0], texts["DoneText"][0], texts["FailedText"][0]},
                            RUN_LIMIT_S)
    assert win.status_text == texts[expected][0]
    assert win.bar_pos == 100
    entries, logs = folder_state(app.work)
    assert entries == ["doLog"], "payloads left in the working folder: %s" % entries
    assert logs == LOGS_AND_ERRORS
    return win


def test_success_puts_the_packages_bytes_on_the_tv(e2e, texts):
    tv = e2e.tv("success")
    app = e2e.installer()
    win = app.window()
    assert win.status_text == texts["PromptText"][0] and win.bar_pos == 0
    app.shot("01-start.png")

    start_install(app)
    finish(app, texts, "DoneText")
    app.shot("04-success.png")

    package = sha256_file(e2e.paths.wgt)
    pushes = tv.events("push")
    assert [(p["path"], p["status"], p["sha256"]) for p in pushes] == \
        [(STAGING + "/KAVORIN.wgt", "ok", package)]
    installs = tv.events("install")
    assert [(i["app_id"], i["ok"], i["sha256"]) for i in installs] == [(APP_ID, True, package)]
    # The TV saw the whole sequence once, in order, and the upload is gone from its disk.
    assert [s["verb"] for s in tv.shells()] == \
        ["getappinstallpath", "vd_appuninstall", "mkdir", "vd_appinstall", "rmfile", "applist"]
    assert tv.file(STAGING + "/KAVORIN.wgt") is None
    assert any(APP_ID in line for line in tv.shells("applist")[0]["output"])
    assert tv.problems() == []

    assert read_log(app.work, "step1.txt") == \
        ("connecting to %s ...\r\nconnected to %s\r\n" % (SERIAL, SERIAL)).encode()
    assert ("app_id[%s] install completed" % APP_ID).encode() in read_log(app.work, "step6.txt")
    assert b"failed[" not in read_log(app.work, "step6.txt")
    assert ("'%s'" % APP_ID).encode() in read_log(app.work, "step7.txt")
    assert e2e.searches() == 0, "a good run searched the network"

    # Closed by its close box, the program ends normally and leaves nothing running.
    app.close()
    app.wait_clean_exit(20)
    app.wait_no_leftovers()


def check_nothing_installed(tv):
    assert all(not i["ok"] for i in tv.events("install"))
    assert all(APP_ID not in "\n".join(s["output"]) for s in tv.shells("applist"))


# Each failure: how the TV is set up, and what the TV and the logs must show afterwards.
def nothing_listening(work, tv, package):
    assert read_log(work, "step1.txt") == b"error: failed to connect to remote target '127.0.0.1'\r\n"
    for name in LOGS[2:]:
        assert read_log(work, name) == b"", name


def wrong_host(work, tv, package):
    assert tv.events("accepted"), "the client never reached the TV"
    assert tv.events("cnxn") == [] and tv.events("push") == [] and tv.shells() == []
    assert read_log(work, "step1.txt") == \
        ("connecting to %s ...\r\nfailed to connect to %s\r\n" % (SERIAL, SERIAL)).encode()


def certificate(work, tv, package):
    assert [p["sha256"] for p in tv.events("push")] == [package]
    assert [(i["ok"], i["sha256"]) for i in tv.events("install")] == [(False, package)]
    check_nothing_installed(tv)
    assert b"install failed[118, -12], reason: Check certificate error" in read_log(work, "step6.txt")


def no_space(work, tv, package):
    assert [p["status"] for p in tv.events("push")] == ["failed"]
    check_nothing_installed(tv)
    assert b"1 file(s) pushed" not in read_log(work, "step5.txt")
    assert b"install completed" not in read_log(work, "step6.txt")


def dropped_push(work, tv, package):
    assert [p["status"] for p in tv.events("push")] == ["dropped"]
    assert tv.file(STAGING + "/KAVORIN.wgt") is None
    check_nothing_installed(tv)
    assert b"1 file(s) pushed" not in read_log(work, "step5.txt")
    assert b"install completed" not in read_log(work, "step6.txt")


def wrong_series(work, tv, package):
    assert [p["status"] for p in tv.events("push")] == ["failed"]
    check_nothing_installed(tv)


def nothing_pushed(work, tv, package):
    assert tv.events("push") == [] and tv.events("install") == []


REMOTE = STAGING + "/KAVORIN.wgt"


# A TV that stops answering. Our client gives up by itself: at the handshake after 5 s, on an
# upload or a shell after its idle limit (cut here to 3 s); the install, with the client's own
# limit left alone, runs into the installer's bound (cut to 10 s), which ends it.
def stalled_connect(work, tv, package):
    assert tv.events("cnxn") and tv.events("stall")
    assert tv.events("push") == [] and tv.shells() == []
    assert read_log(work, "step1.txt") == \
        ("connecting to %s ...\r\nfailed to connect to %s\r\n" % (SERIAL, SERIAL)).encode()
    assert b"error: the device stopped answering" in read_log(work, "errors.txt")


def stalled_push(work, tv, package):
    assert [e["reason"] for e in tv.events("stall")] == \
        ["scenario stall-push: file data no longer acknowledged"]
    assert [p["status"] for p in tv.events("push")] == ["dropped"]
    check_nothing_installed(tv)
    assert tv.file(REMOTE) is None
    assert b"error: failed to push 'KAVORIN.wgt': the device stopped answering" in read_log(work, "errors.txt")


def stalled_install(work, tv, package):
    assert [p["sha256"] for p in tv.events("push")] == [package]
    check_nothing_installed(tv)
    # Stopped at its bound, then the clean-up: the upload removed, the list asked, the server stopped.
    assert [s["verb"] for s in tv.shells()] == \
        ["getappinstallpath", "vd_appuninstall", "mkdir", "vd_appinstall", "rmfile", "applist"]
    assert [r["removed"] for r in tv.events("rmfile")] == [True]
    assert tv.file(REMOTE) is None
    errors = read_log(work, "errors.txt")
    assert b"installer: the command was stopped after 10 s\r\n--- cmd.exe /c \"iu.exe shell 0 rmfile" in errors
    assert b"install start" in read_log(work, "step6.txt")


# The installer's environment in these cases (a test's shorter limits).
INSTALLER_ENV = {
    "stalled-push": {"KAVORIN_BRIDGE_IDLE_MS": "3000"},
    "stalled-install": {"KAVORIN_TEST_BOUND_CAP_MS": "10000"},
}


# Each failure: how the TV is set up, what the TV and the logs show, and the box that says why:
# its entry, what fills %1 and %2 (from the PC's addresses the window shows), the TV's quoted
# line and whether the TV named its model.
FAILURES = [
    ("nothing-listening", None, (), nothing_listening, "WhyNotATvText", ("127.0.0.1",), None, False),
    ("wrong-host", "wrong-host", (), wrong_host, "WhyHostIpOtherText",
     (rest.OTHER_HOST_IP, "{pcs}"), None, True),
    ("wrong-series", "success", ("--tizen", "2.4"), wrong_series, "WhyWrongSeriesText", (),
     "error: failed to close '%s': Permission denied" % REMOTE, False),
    ("certificate", "install-cert-fail", (), certificate, "WhyCertificateText", (),
     "app_id[%s] install failed[118, -12], reason: Check certificate error" % APP_ID, False),
    ("no-space", "no-space", (), no_space, "WhyNoSpaceText", (),
     "error: failed to close '%s': No space left on device" % REMOTE, False),
    ("dropped-push", "drop-push", (), dropped_push, "WhyDroppedText", (),
     "error: failed to push 'KAVORIN.wgt': ", False),
    ("devmode-off", "devmode-off", (), nothing_pushed, "WhyDevModeOffText", ("{pcs}",), None, True),
    ("host-ip-other", "host-ip-other", (), nothing_pushed, "WhyHostIpOtherText",
     (rest.OTHER_HOST_IP, "{pcs}"), None, True),
    ("host-ip-reversed", "host-ip-reversed", ("--pc-address", "{pc}"), nothing_pushed, "WhyHostIpReversedText",
     ("{pc0rev}", "{pc0rev}"), None, True),
    ("devmode-inactive", "devmode-inactive", ("--pc-address", "{pc}"), nothing_pushed, "WhyDevModeInactiveText",
     (), None, True),
    ("no-rest", "no-rest", (), nothing_pushed, "WhyTurnedAwayText", ("{pcs}",), None, False),
    ("stalled-connect", "stall-connect", (), stalled_connect, "WhyStoppedText", ("{StageConnectingText}",),
     None, False),
    ("stalled-push", "stall-push", (), stalled_push, "WhyStoppedText", ("{StageCopyingText}",), None, False),
    ("stalled-install", "stall-install", (), stalled_install, "WhyStoppedText", ("{StageInstallingText}",),
     None, False),
]


def expected_box(texts, why, fills, tv_line, model, lang, pc):
    text = texts[why][lang]
    for mark, value in zip(("%1", "%2"), fills):
        if value.startswith("{Stage"):
            value = texts[value[1:-1]][lang]
        value = value.replace("{pcs}", texts["OrText"][lang].join(pc))
        text = text.replace(mark, value.replace("{pc0rev}", ".".join(reversed(pc[0].split("."))) if pc else ""))
    if model:
        text += "\n\n" + texts["TvModelText"][lang].replace("%1", rest.MODEL_NAME)
    if tv_line:
        text += "\n\n" + texts["TvSaidText"][lang] + "\n\"" + tv_line
    return text


@pytest.mark.parametrize("name,scenario,extra,check,why,fills,tv_line,model", FAILURES,
                         ids=[f[0] for f in FAILURES])
def test_failure_ends_with_the_failure_text_one_box_that_says_why_and_a_clean_folder(
        e2e, texts, name, scenario, extra, check, why, fills, tv_line, model):
    app = e2e.installer(**INSTALLER_ENV.get(name, {}))
    pc = harness.pc_addresses(app.window())
    if "{pc}" in extra and not pc:
        app.close()
        pytest.skip("this PC shows no IPv4 address for the TV to hold")
    tv = e2e.tv(scenario, *[a.replace("{pc}", pc[0] if pc else "") for a in extra]) if scenario else None
    if tv is None:
        assert not port_in_use(), "something listens on 127.0.0.1:26101"
    # Russian and English by turns.
    lang = [f[0] for f in FAILURES].index(name) % 2
    if lang == 1:
        app.choose("ENG")
    start_install(app)
    win = app.wait_finished({texts["FailedText"][lang], texts["DoneText"][lang]}, RUN_LIMIT_S)
    assert win.status_text == texts["FailedText"][lang]
    box = app.wait_box(30)
    app.shot("05-%s.png" % name)
    want = expected_box(texts, why, fills, tv_line, model, lang, pc)
    if name == "dropped-push":  # the client's own words for the drop follow
        assert box["text"].startswith(want), box["text"]
    else:
        assert box["text"] == want + ("\"" if tv_line else "")
    app.dismiss_box(box)
    assert app.probe.box() is None
    entries, logs = folder_state(app.work)
    assert entries == ["doLog"], "payloads left in the working folder: %s" % entries
    assert logs == LOGS_AND_ERRORS
    check(app.work, tv, sha256_file(e2e.paths.wgt))
    if tv is not None:
        assert tv.problems() == []
        # The TV's own service is asked once, and only after a failed connect.
        connect_failed = why not in ("WhyWrongSeriesText", "WhyCertificateText", "WhyNoSpaceText",
                                     "WhyDroppedText", "WhyStoppedText")
        assert len(tv.events("rest")) == (1 if connect_failed and scenario != "no-rest" else 0)
    # Something answered at the typed address, or the TV was reached: no network search.
    assert e2e.searches() == 0
    app.close()
    app.wait_clean_exit(20)
    app.wait_no_leftovers()


def test_second_run_in_the_same_folder_replaces_logs_and_stale_payloads(e2e, texts):
    # First run: the TV turns the PC away; every log says so.
    tv = e2e.tv("wrong-host")
    first = e2e.installer()
    start_install(first)
    finish(first, texts, "FailedText")
    first.dismiss_box(first.wait_box(30))
    first.close()
    first.wait_clean_exit(20)
    tv.stop()
    before = {name: read_log(first.work, name) for name in LOGS}
    assert b"failed to connect" in before["step1.txt"]

    # Payload files a crashed run might have left: they must be replaced, not pushed.
    for name in ("iu.exe", "KAVORIN.wgt"):
        with open(os.path.join(first.work, name), "wb") as f:
            f.write(b"left over by an earlier run")
    stamp = max(os.stat(os.path.join(first.work, "doLog", n)).st_mtime_ns for n in LOGS)

    tv = e2e.tv("success")
    second = e2e.installer()
    start_install(second)
    finish(second, texts, "DoneText")
    after = {name: read_log(second.work, name) for name in LOGS}
    for name in LOGS:
        assert os.stat(os.path.join(second.work, "doLog", name)).st_mtime_ns > stamp, name
    assert after["step1.txt"] == ("connecting to %s ...\r\nconnected to %s\r\n" % (SERIAL, SERIAL)).encode()
    assert b"install completed" in after["step6.txt"]
    same = {n: after[n] for n in ("step1.txt", "step3.txt", "step5.txt", "step6.txt") if after[n] == before[n]}
    assert same == {}, "logs the second run left as the first: %r" % same
    assert [p["sha256"] for p in tv.events("push")] == [sha256_file(e2e.paths.wgt)]
    assert [i["ok"] for i in tv.events("install")] == [True]
    assert e2e.searches() == 0


def test_make_run_installs_on_the_simulated_tv_by_itself(e2e, texts):
    """The README's `make run` with no display: simulator, installer, real input, a report."""
    work = os.path.join(e2e.base, "run")
    # A prefix of its own: this session's Wine desktop lives on another display.
    prefix = os.path.join(e2e.base, "prefix")
    shutil.copytree(e2e.paths.prefix, prefix, symlinks=True, copy_function=os.link)
    for name in ("system.reg", "user.reg", "userdef.reg"):
        os.remove(os.path.join(prefix, name))
        shutil.copy(os.path.join(e2e.paths.prefix, name), prefix)
    env = dict(os.environ, KAVORIN_PORT_LOCK_HELD="1", KAVORIN_WINEPREFIX=prefix)
    env.pop("DISPLAY")
    p = subprocess.run(["/usr/bin/python3", os.path.join(ROOT, "tools", "run-installer.py"),
                        "--work", work], env=env, capture_output=True, text=True, timeout=220)
    assert p.returncode == 0, p.stdout + p.stderr
    report = dict(line.split(":", 1) for line in p.stdout.splitlines() if ":" in line)
    assert report["Status"].strip() == texts["DoneText"][0].replace("\n", " ")
    assert report["Progress bar"].strip() == "100"
    assert report["TV journal"].strip().startswith(APP_ID + " installed")
    entries, logs = folder_state(work)
    assert entries == ["doLog", "screenshots"] and logs == LOGS_AND_ERRORS
    assert sorted(os.listdir(os.path.join(work, "screenshots"))) == \
        ["1-before.png", "2-during.png", "3-after.png"]
    assert not port_in_use()
