"""Whole installations, typed and clicked as a user does: what lands on the TV, in doLog, on the
screen and in the working folder, for a TV that takes the widget and for every way it can fail."""
import os
import shutil
import subprocess

import pytest

from harness import (APP_ID, LOGS, ROOT, STAGING, folder_state, port_in_use, read_log,
                     sha256_file, start_install)

SERIAL = "127.0.0.1:26101"
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
    assert logs == LOGS
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


@pytest.mark.parametrize("scenario,check", [
    (None, nothing_listening),
    ("wrong-host", wrong_host),
    ("install-cert-fail", certificate),
    ("no-space", no_space),
    ("drop-push", dropped_push),
], ids=["nothing-listening", "wrong-host", "certificate", "no-space", "dropped-push"])
def test_failure_ends_with_the_failure_text_and_a_clean_folder(e2e, texts, scenario, check):
    if scenario:
        tv = e2e.tv(scenario)
    else:
        tv = None
        assert not port_in_use(), "something listens on 127.0.0.1:26101"
    app = e2e.installer()
    start_install(app)
    finish(app, texts, "FailedText")
    if scenario == "install-cert-fail":
        app.shot("05-failure.png")
    check(app.work, tv, sha256_file(e2e.paths.wgt))
    assert tv is None or tv.problems() == []
    app.close()
    app.wait_clean_exit(20)
    app.wait_no_leftovers()


def test_second_run_in_the_same_folder_replaces_logs_and_stale_payloads(e2e, texts):
    # First run: the TV turns the PC away; every log says so.
    tv = e2e.tv("wrong-host")
    first = e2e.installer()
    start_install(first)
    finish(first, texts, "FailedText")
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
    assert all(after[n] != before[n] for n in ("step1.txt", "step3.txt", "step5.txt", "step6.txt"))
    assert [p["sha256"] for p in tv.events("push")] == [sha256_file(e2e.paths.wgt)]
    assert [i["ok"] for i in tv.events("install")] == [True]


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
    assert entries == ["doLog", "screenshots"] and logs == LOGS
    assert sorted(os.listdir(os.path.join(work, "screenshots"))) == \
        ["1-before.png", "2-during.png", "3-after.png"]
    assert not port_in_use()
