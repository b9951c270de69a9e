"""Input while an installation runs, against a TV that answers slowly: the language switch, a
second press of Install, and closing the window."""
import time

from harness import APP_ID, folder_state, start_install, wait_for

# Bound of a whole run against the slow TV (its answers come up to a second late).
SLOW_RUN_LIMIT_S = 150
# A window that answers input while a command runs takes at most this to answer a message.
ANSWER_MS = 200
VERBS = ["getappinstallpath", "vd_appuninstall", "mkdir", "vd_appinstall", "rmfile", "applist"]


def wait_command_running(app, timeout=30):
    """Until a bridge client started by this installer is alive: a command is in progress."""
    return wait_for(lambda: app.running("iu.exe"), timeout, "a bridge command to run", interval=0.05)


def test_language_switch_during_a_run_and_the_window_keeps_answering(e2e, texts):
    tv = e2e.tv("slow", "--delay", "1.0")
    app = e2e.installer()
    start_install(app)
    app.wait_bar(lambda pos: 6 <= pos < 100, 30, "the run to reach the TV")
    wait_command_running(app)

    app.choose("ENG")
    state = app.wait_bar_and_status(lambda pos, text: text == texts["PromptText"][1], 10,
                                    "the English prompt")
    assert state.bar_pos < 100, "the run ended before the switch could be seen during it"
    assert app.window().install_button["text"] == texts["InstallButtonCaption"][1]
    app.shot("02-english.png")

    # While commands run, the window answers a sent message at once, again and again.
    answers = []
    while app.probe.bar().bar_pos < 100 and len(answers) < 40:
        if app.running("iu.exe"):
            answers.append(e2e.probe.ping(ANSWER_MS))
        time.sleep(0.25)
    assert len(answers) >= 5, "too few samples while commands ran: %d" % len(answers)
    slow = [a for a in answers if not a["answered"] or a["ms"] >= ANSWER_MS]
    assert slow == [], "the window did not answer in time: %s" % slow

    win = app.wait_finished({texts["DoneText"][1], texts["FailedText"][1]}, SLOW_RUN_LIMIT_S)
    assert win.status_text == texts["DoneText"][1]
    assert win.bar_pos == 100
    assert [i["ok"] for i in tv.events("install")] == [True]
    assert folder_state(app.work)[0] == ["doLog"]
    app.shot("06-done-english.png")


def test_second_press_of_install_during_a_run_is_ignored(e2e, texts):
    tv = e2e.tv("slow", "--delay", "0.5")
    app = e2e.installer()
    start_install(app)
    win = app.wait_bar(lambda pos: 6 <= pos < 100, 30, "the run to reach the TV")
    wait_command_running(app)
    assert win.status_text == texts["InstallingText"][0]
    app.shot("03-during-run.png")

    app.press_install()
    app.wait_bar(lambda pos: pos >= 39, 60, "the push to come")
    wait_command_running(app)
    app.press_install()

    win = app.wait_finished({texts["DoneText"][0], texts["FailedText"][0]}, SLOW_RUN_LIMIT_S)
    assert win.status_text == texts["DoneText"][0]
    # One installation reached the TV: each command once, one upload, one install.
    assert [s["verb"] for s in tv.shells()] == VERBS
    assert len(tv.events("push")) == 1
    assert [(i["app_id"], i["ok"]) for i in tv.events("install")] == [(APP_ID, True)]
    # A press kept for later would start a second run now: nothing may move.
    accepted = len(tv.events("accepted"))
    deadline = time.monotonic() + 3
    while time.monotonic() < deadline:
        w = app.probe.bar()
        assert (w.bar_pos, w.status_text) == (100, texts["DoneText"][0])
        assert app.running("iu.exe") == [] and app.running("cmd.exe") == []
        time.sleep(0.2)
    assert len(tv.events("accepted")) == accepted


def test_closing_the_window_mid_run_ends_the_program_and_cleans_up(e2e, texts):
    tv = e2e.tv("slow", "--delay", "1.0")
    app = e2e.installer()
    start_install(app)
    # The uninstall command is in progress: the TV answers it slowly.
    app.wait_bar(lambda pos: pos >= 27, 60, "the uninstall command")
    wait_command_running(app)

    closed = time.monotonic()
    app.close()
    app.wait_clean_exit(20)
    took = time.monotonic() - closed
    # Nothing of the run is left: no program, no payload; the logs stay.
    app.wait_no_leftovers()
    entries, logs = folder_state(app.work)
    assert entries == ["doLog"]
    assert "step4.txt" in logs
    # No TV command started after the close: nothing was uploaded or installed.
    assert tv.events("push") == [] and tv.events("install") == []
    assert took < 15, "the program took %.1f s to end after the click" % took
    print("closed mid-run: the program ended %.2f s after the click" % took)
