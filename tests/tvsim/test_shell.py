"""The TV's `0 <verb>` commands and their recorded output."""

import os

import pytest

from minisdb import Link, lines
from pkgbuild import STAGE


def test_getappinstallpath(link):
    assert link.shell("0 getappinstallpath") == \
        b"Tizen Application Installation Path: /opt/usr/home/owner/apps_rw\r\n"


@pytest.mark.parametrize("crlf,eol", [(False, b"\n"), (True, b"\r\n")])
def test_uninstall_of_a_missing_app_in_lf_and_crlf(make_sim, crlf, eol):
    sim = make_sim(crlf=crlf)
    with Link(sim.port) as c:
        c.handshake()
        out = c.shell("0 vd_appuninstall Qw7TzLp2Xe.KAVORIN; echo cmd_ret:$?;")
    got = out.split(eol)
    assert got[:3] == [b"uninstall Qw7TzLp2Xe.KAVORIN",
                       b"app_id[Qw7TzLp2Xe.KAVORIN] uninstall start",
                       b"app_id[Qw7TzLp2Xe.KAVORIN] uninstall failed[132]"]
    assert got[3].startswith(b"spend time for wascmd is [") and got[3].endswith(b"]ms")
    assert got[4:] == [b"cmd_ret:0", b""]
    assert out.count(b"\n") == out.count(eol)     # no stray line ends of the other kind


def test_cmd_ret_only_when_the_suffix_is_sent(link):
    assert b"cmd_ret" not in link.shell("0 vd_appuninstall Qw7TzLp2Xe.KAVORIN")
    assert lines(link.shell("0 applist; echo cmd_ret:$?;"))[-1] == "cmd_ret:0"


def test_applist_tizen3_format(link):
    assert lines(link.shell("0 applist")) == [
        "\tApplication List for user 5001",
        "\tUser's Application ",
        "\t Name \t AppID ",
        "\t=================================================",
        "\t'Photo player'\t 'org.tizen.mycontent-photo-player-tv'",
        "\t'AVControl'\t 'org.tizen.AVControl'",
        "\t'SMSourceAPP'\t 'org.tizen.SMSourceAPP'",
        "\t=================================================",
    ]


def test_mkdir_creates_the_staging_folder_silently(link, sim):
    assert link.shell("0 mkdir " + STAGE) == b""
    assert os.path.isdir(sim.fs.host_path(STAGE))
    assert link.shell("0 mkdir " + STAGE) == b""   # already there: still silent


def test_mkdir_outside_the_developer_area_fails(link, sim):
    out = lines(link.shell("0 mkdir /opt/usr/apps/tmp"))
    assert out == ["mkdir: cannot create directory '/opt/usr/apps/tmp': Permission denied"]
    assert not os.path.exists(sim.fs.host_path("/opt/usr/apps/tmp"))


def test_rmfile_removes_the_staged_file_only_in_the_developer_area(link, sim):
    link.push(b"pkg", STAGE + "/KAVORIN.wgt")
    protected = sim.fs.host_path("/opt/usr/apps/keep.wgt")
    with open(protected, "wb") as f:
        f.write(b"x")
    assert link.shell("0 rmfile %s/KAVORIN.wgt" % STAGE) == b""
    assert link.shell("0 rmfile /opt/usr/apps/keep.wgt") == b""
    assert not sim.tv_exists(STAGE + "/KAVORIN.wgt")
    assert os.path.exists(protected)
    assert [(e["path"], e["removed"]) for e in sim.events("rmfile")] == [
        (STAGE + "/KAVORIN.wgt", True), ("/opt/usr/apps/keep.wgt", False)]


def test_rmfile_without_argument_cleans_the_staging_folder(link, sim):
    link.push(b"a", STAGE + "/a.wgt")
    link.push(b"b", STAGE + "/b.txt")
    link.shell("0 rmfile")
    assert not sim.tv_exists(STAGE + "/a.wgt")
    assert sim.tv_exists(STAGE + "/b.txt")


def test_paths_never_leave_the_root_folder(link, sim, tmp_path):
    ok, why = link.push(b"evil", "/../../../../outside.txt")
    assert (ok, why) == (False, "Permission denied")
    link.shell("0 mkdir /home/owner/share/../../../../../tmp/inside")
    link.shell("0 rmfile ../../../../" + str(tmp_path / "journal0.jsonl"))
    assert not (tmp_path / "outside.txt").exists()
    assert not os.path.exists("/outside.txt")
    assert os.path.isdir(sim.fs.host_path("/tmp/inside"))
    assert (tmp_path / "journal0.jsonl").exists()


def test_tizen24_set(make_sim):
    sim = make_sim(tizen="2.4")
    with Link(sim.port) as c:
        c.handshake()
        assert c.shell("0 getappinstallpath") == b"Tizen Application Installation Path: /opt/usr/apps\r\n"
        assert c.push(b"pkg", "/opt/usr/apps/tmp/KAVORIN.wgt") == (True, "")
        assert c.push(b"pkg" * 30000, STAGE + "/KAVORIN.wgt") == (False, "Permission denied")
        # told after all the data, then the stream is closed with no answer to DONE
        assert c.last_push == {"before_done": b"", "after_status": b""}
        table = lines(c.shell("0 applist"))
    assert table[0].split() == ["No", "Name", "Version", "GUID", "Package", "ID", "App", "ID"]
    assert len(table[0]) == 160 and table[-1] == " "
    assert table[2].split()[-1] == "org.tizen.mycontent-photo-player-tv"
