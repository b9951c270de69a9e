"""Push, install, list and uninstall, and the package check the TV makes on install."""

import base64
import hashlib
import os
import re

import pytest

import pkgbuild
import tvsim
from minisdb import Link, lines
from pkgbuild import APP_ID, PKG_PATH, ROLE_AUTHOR, ROLE_DISTRIBUTOR, STAGE, install_command

REPO = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
CERT_FAIL = "app_id[%s] install failed[118, -12], reason: Check certificate error" % APP_ID
ARCHIVE_FAIL = "app_id[%s] install failed[118, -4] Load archive info fail" % APP_ID


@pytest.fixture(scope="module")
def good_package():
    return pkgbuild.build()


def push_and_install(link, package, app_id=APP_ID):
    link.shell("0 mkdir " + STAGE)
    assert link.push(package, PKG_PATH) == (True, "")
    return lines(link.shell(install_command(app_id)))


def test_good_package_installs_lists_and_uninstalls(link, sim, good_package):
    out = push_and_install(link, good_package)
    assert out[:4] == ["install " + APP_ID, "package_path " + PKG_PATH,
                       "was_install_app return WAS_TRUE", "app_id[%s] install start" % APP_ID]
    progress = [int(m.group(1)) for m in (re.fullmatch(r"app_id\[%s\] installing\[(\d+)\]"
                                                        % re.escape(APP_ID), x) for x in out) if m]
    assert progress == sorted(progress) and progress[-1] == 100
    assert out[-3] == "app_id[%s] install completed" % APP_ID
    assert re.fullmatch(r"spend time for wascmd is \[\d+\]ms", out[-2])
    assert out[-1] == "cmd_ret:0"

    push = sim.events("push")[-1]
    assert push["status"] == "ok" and push["path"] == PKG_PATH
    assert push["sha256"] == hashlib.sha256(good_package).hexdigest()
    assert push["size"] == len(good_package)
    verdict = sim.events("install")[-1]
    assert verdict["ok"] is True and verdict["sha256"] == push["sha256"]
    assert sim.events("shell")[-1]["output"] == out
    assert APP_ID in sim.installed()
    unpacked = sim.fs.host_path("/opt/usr/home/owner/apps_rw/Qw7TzLp2Xe/res/wgt/css/style.css")
    with open(unpacked, "rb") as f:
        assert f.read() == pkgbuild.content_files()["css/style.css"]

    assert "\t'KAVORIN'\t '%s'" % APP_ID in lines(link.shell("0 applist"))

    out = lines(link.shell("0 vd_appuninstall %s; echo cmd_ret:$?;" % APP_ID))
    assert out[:5] == ["uninstall " + APP_ID, "app_id[%s] uninstall start" % APP_ID,
                       "app_id[%s] uninstalling[14]" % APP_ID, "app_id[%s] uninstalling[57]" % APP_ID,
                       "app_id[%s] uninstall completed" % APP_ID]
    assert out[-1] == "cmd_ret:0"
    assert APP_ID not in sim.installed()
    assert not os.path.exists(os.path.dirname(os.path.dirname(os.path.dirname(unpacked))))
    assert all(APP_ID not in x for x in lines(link.shell("0 applist")))
    again = lines(link.shell("0 vd_appuninstall %s; echo cmd_ret:$?;" % APP_ID))
    assert "app_id[%s] uninstall failed[132]" % APP_ID in again


def test_installed_app_outlives_the_simulator(make_sim, good_package, tmp_path):
    sim = make_sim()
    with Link(sim.port) as c:
        c.handshake()
        push_and_install(c, good_package)
    sim.stop()
    again = make_sim(root=str(tmp_path / "tv"))
    with Link(again.port) as c:
        c.handshake()
        assert "\t'KAVORIN'\t '%s'" % APP_ID in lines(c.shell("0 applist"))


def test_reinstall_over_an_installed_copy(link, sim, good_package):
    push_and_install(link, good_package)
    out = push_and_install(link, good_package)
    assert "app_id[%s] install completed" % APP_ID in out


def test_another_author_certificate_cannot_update(link, sim, good_package):
    push_and_install(link, good_package)
    out = push_and_install(link, pkgbuild.build(key_name="someone else"))
    assert "app_id[%s] install failed[118, -11], reason: Author certificate not match :" % APP_ID in out


def _edit(fn):
    return lambda entries: fn(entries)


BROKEN = {
    "changed byte": (dict(after_sign=_edit(lambda e: e.__setitem__(
        "main.js", e["main.js"].replace(b"ready", b"reads")))), CERT_FAIL, "digest of main.js"),
    "extra file": (dict(after_sign=_edit(lambda e: e.__setitem__("extra.txt", b"x"))),
                   CERT_FAIL, "unsigned extra file(s): extra.txt"),
    "missing file": (dict(after_sign=_edit(lambda e: e.pop("index.html"))),
                     CERT_FAIL, "missing from the package: index.html"),
    "wrong id": (dict(app_id="Qw7TzLp2Xe.OTHERAPP"), ARCHIVE_FAIL, "declares application id"),
    "author file with distributor role": (dict(author_role=ROLE_DISTRIBUTOR), CERT_FAIL,
                                          "author-signature.xml: role URI"),
    "distributor file with author role": (dict(dist_role=ROLE_AUTHOR), CERT_FAIL,
                                          "signature1.xml: role URI"),
    "slash not encoded": (dict(uri=lambda n: n), CERT_FAIL, "not percent-encoded"),
    "author signature changed after distribution signing": (
        dict(after_sign=_edit(lambda e: e.__setitem__("author-signature.xml",
                                                      e["author-signature.xml"] + b"\n"))),
        CERT_FAIL, "signature1.xml: digest of author-signature.xml"),
    "forged signature value": (
        dict(after_sign=_edit(lambda e: e.__setitem__("signature1.xml", re.sub(
            rb"<SignatureValue>\n(.)", lambda m: b"<SignatureValue>\n" + (b"B" if m.group(1) == b"A" else b"A"),
            e["signature1.xml"])))),
        CERT_FAIL, "SignatureValue does not verify"),
    "no directory entry": (dict(after_sign=_edit(lambda e: e.pop("css/"))), ARCHIVE_FAIL,
                           "directory entries"),
    "no distributor signature": (dict(after_sign=_edit(lambda e: e.pop("signature1.xml"))),
                                 CERT_FAIL, "no signature1.xml"),
    "config without required_version": (
        dict(after_sign=_edit(lambda e: e.__setitem__("config.xml", e["config.xml"].replace(
            b' required_version="2.3"', b"")))), ARCHIVE_FAIL, "required_version"),
}


@pytest.mark.parametrize("case", sorted(BROKEN))
def test_broken_package_is_refused_with_the_tvs_failure_line(link, sim, case):
    kwargs, line, detail = BROKEN[case]
    out = push_and_install(link, pkgbuild.build(**kwargs))
    assert line in out
    assert "app_id[%s] install completed" % APP_ID not in out
    assert out[-1] == "cmd_ret:0"
    verdict = sim.events("install")[-1]
    assert verdict["ok"] is False and detail in verdict["detail"], verdict
    assert sim.installed() == {}


def test_not_a_zip_and_no_file_are_archive_failures(link, sim):
    assert ARCHIVE_FAIL in push_and_install(link, b"this is not a zip file")
    link.shell("0 rmfile " + PKG_PATH)
    assert ARCHIVE_FAIL in lines(link.shell(install_command()))
    assert "cannot read" in sim.events("install")[-1]["detail"]


def test_prop_digest_matches_the_signing_tools_constants():
    for sig_id, role, expected in (
            ("AuthorSignature", ROLE_AUTHOR, "lpo8tUDs054eLlBQXiDPVDVKfw30ZZdtkRs1jd7H5K8="),
            ("DistributorSignature", ROLE_DISTRIBUTOR, "u/jU3U4Zm5ihTMSjKGlGYbWzDfRkGphPPHx3gJIYEJ4=")):
        doc = '<Signature xmlns="%s" Id="%s">%s</Signature>' % (
            tvsim.DS_NS, sig_id, pkgbuild.prop_object(sig_id, role))
        obj = next(n for n in tvsim._parse_xtree(doc.encode()).iter() if n.local() == "Object")
        digest = base64.b64encode(hashlib.sha256(tvsim.canonicalize(obj, False)).digest()).decode()
        assert digest == expected


def test_canonical_form_does_not_depend_on_how_the_xml_is_written():
    plain = ('<Signature xmlns="http://www.w3.org/2000/09/xmldsig#"><Object Id="p"><A xmlns:q="urn:q">'
             '<q:B z="1" a="&amp;2"></q:B></A></Object></Signature>')
    odd = ('<Signature xmlns="http://www.w3.org/2000/09/xmldsig#" xmlns:q="urn:q"><Object  Id = "p" >'
           '<A xmlns:q="urn:q"><q:B a=\'&#38;2\'   z="1"/></A></Object></Signature>')
    forms = []
    for doc in (plain, odd):
        obj = next(n for n in tvsim._parse_xtree(doc.encode()).iter() if n.local() == "Object")
        forms.append((tvsim.canonicalize(obj, False), tvsim.canonicalize(obj, True)))
    assert forms[0][0] != forms[1][0]   # inclusive: q is in scope at the apex of the second
    assert forms[0][1] == forms[1][1] == (
        b'<Object xmlns="http://www.w3.org/2000/09/xmldsig#" Id="p"><A>'
        b'<q:B xmlns:q="urn:q" a="&amp;2" z="1"></q:B></A></Object>')


@pytest.mark.parametrize("name", ["css/style.css", "a b+c~.js", "x%y"])
def test_uri_encoding_round_trip(name):
    uri = tvsim.percent_encode(name)
    assert tvsim.percent_decode(uri) == name
    assert "/" not in uri and " " not in uri


def test_uri_decoding_refuses_what_the_tv_refuses():
    assert tvsim.percent_decode("a%C3%A9") is None
    assert tvsim.percent_decode("a%2") is None
    assert tvsim.percent_decode("a+b") == "a+b"


def test_the_built_widget_package_installs(link, sim):
    """The sample package of the tree (or the one named by TVSIM_WGT) passes the TV's check."""
    path = os.environ.get("TVSIM_WGT") or os.path.join(REPO, "build", "host", "widget", "KAVORIN.wgt")
    if not os.path.exists(path):
        pytest.skip("%s has not been built" % path)
    with open(path, "rb") as f:
        package = f.read()
    info = tvsim.check_package(package, APP_ID)
    assert info["package"] == "Qw7TzLp2Xe" and info["label"] == "KAVORIN"
    out = push_and_install(link, package)
    assert "app_id[%s] install completed" % APP_ID in out, sim.events("install")[-1]
