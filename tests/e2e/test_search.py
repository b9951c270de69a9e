"""The TV found on this PC's network when its address is missing or wrong, clicked and answered as
a user does, on the LAN of tools/netns-run.sh --lan: this PC is 192.168.77.1, simulated TVs answer
on other addresses of it (REST on 8001 and SSDP), and a soundbar that is no TV hears every search."""
import pytest

import harness
from harness import APP_ID, folder_state

rest = harness.load_tvsim_module("rest")
TV1, TV2 = "192.168.77.20", "192.168.77.21"
NOBODY = "192.168.77.50"  # an address of the LAN where nothing answers
SERIES = "M,N,Q,R,T,A,B"
# The search itself takes at most 3 s; the rest is Wine under emulation.
BOX_LIMIT_S = 60
RUN_LIMIT_S = 120

pytestmark = pytest.mark.skipif(not harness.lan(), reason="needs the LAN of tools/netns-run.sh --lan")


def fill(text, *values):
    for i, value in enumerate(values):
        text = text.replace("%%%d" % (i + 1), value, 1)
    return text


def found_tv(texts, lang, address, nothing_at=None):
    """The question after a search that found one TV, ready for this PC."""
    what = fill(texts["TvAndModelText"][lang], rest.TV_NAME, rest.MODEL_NAME)
    text = fill(texts["FoundTvText"][lang], address, what) + "\n\n" + texts["InstallThereText"][lang]
    return (fill(texts["NothingAtText"][lang], nothing_at) + "\n" + text) if nothing_at else text


def press_install(e2e, lang, typed=""):
    app = e2e.installer()
    if lang == 1:
        app.choose("ENG")
    app.choose(SERIES)
    if typed:
        app.type_address(typed)
    app.press_install()
    return app


def check_question(app, texts, lang, want):
    box = app.wait_box(BOX_LIMIT_S)
    assert box["text"] == want
    assert (box.get("yes_text"), box.get("no_text")) == (texts["YesCaption"][lang], texts["NoCaption"][lang])
    return box


def check_installed_once(app, texts, lang, tv):
    win = app.wait_finished({texts["DoneText"][lang], texts["FailedText"][lang]}, RUN_LIMIT_S)
    assert win.status_text == texts["DoneText"][lang]
    assert [(i["app_id"], i["ok"]) for i in tv.events("install")] == [(APP_ID, True)]
    assert app.probe.box() is None, "a box after a good run"


def test_empty_field_one_tv_yes_installs_there(e2e, texts):
    lang = 0
    tv = e2e.tv("success", address=TV1)
    app = press_install(e2e, lang)
    box = check_question(app, texts, lang, found_tv(texts, lang, TV1))
    assert app.window().edit["text"] == TV1, "the address found goes into the field"
    app.shot("10-found-one.png")
    app.dismiss_box(box, "yes")
    check_installed_once(app, texts, lang, tv)
    # It answered the installer's M-SEARCH from Wine, out of lan0 (what the TCP scan also found).
    assert tv.events("ssdp-answer"), "the TV never heard an M-SEARCH"
    assert e2e.searches() == 1, "one search, and none after the good run"


def test_empty_field_one_tv_no_leaves_the_address_and_runs_nothing(e2e, texts):
    lang = 1
    tv = e2e.tv("success", address=TV1)
    app = press_install(e2e, lang)
    box = check_question(app, texts, lang, found_tv(texts, lang, TV1))
    app.dismiss_box(box, "no")
    win = app.window()
    assert win.edit["text"] == TV1
    assert win.status_text == texts["PromptText"][lang] and win.bar_pos == 0
    assert folder_state(app.work) == ([], []), "something ran"
    assert tv.events("accepted") == [], "the TV's device port was reached"
    assert e2e.searches() == 1


def test_empty_field_two_tvs_lists_both(e2e, texts):
    lang = 0
    e2e.tv("success", address=TV1)
    e2e.tv("devmode-off", address=TV2)
    app = press_install(e2e, lang)
    box = app.wait_box(BOX_LIMIT_S)
    what = fill(texts["TvAndModelText"][lang], rest.TV_NAME, rest.MODEL_NAME)
    assert box["text"] == "\n".join([
        texts["FoundSeveralText"][lang],
        "%s - %s, %s" % (TV1, what, texts["ForThisPcText"][lang]),
        "%s - %s, %s" % (TV2, what, texts["DevModeOffStateText"][lang])])
    assert "yes" not in box, "several: the user types one, nothing is asked"
    app.shot("11-found-two.png")
    app.dismiss_box(box)
    assert app.window().edit["text"] == ""
    assert folder_state(app.work) == ([], [])
    assert e2e.searches() == 1


def test_empty_field_no_tv_says_what_to_check(e2e, texts):
    lang = 1
    app = press_install(e2e, lang)
    box = app.wait_box(BOX_LIMIT_S)
    assert box["text"] == texts["BadAddressText"][lang] + "\n" + texts["SearchNoneText"][lang]
    app.shot("12-found-none.png")
    app.dismiss_box(box)
    assert folder_state(app.work) == ([], [])
    # The soundbar was asked and heard the M-SEARCHes, both services, and is no TV.
    assert e2e.searches() == 1
    assert {e["st"] for e in e2e.watcher.events("ssdp-search")} == set(harness.load_tvsim_module("ssdp").SERVICES)


def test_nothing_at_the_typed_address_names_the_tv_elsewhere_and_installs_there(e2e, texts):
    lang = 0
    tv = e2e.tv("success", address=TV1)
    app = press_install(e2e, lang, NOBODY)
    win = app.wait_finished({texts["FailedText"][lang], texts["DoneText"][lang]}, RUN_LIMIT_S)
    assert win.status_text == texts["FailedText"][lang]
    box = check_question(app, texts, lang, found_tv(texts, lang, TV1, nothing_at=NOBODY))
    app.shot("13-found-elsewhere.png")
    app.dismiss_box(box, "yes")
    check_installed_once(app, texts, lang, tv)
    assert app.window().edit["text"] == TV1
    assert e2e.searches() == 1
