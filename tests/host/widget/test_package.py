"""The built KAVORIN.wgt: layout, signatures (xmlsec1 and our widget-rule checker), properties,
reproducibility."""

import base64
import datetime
import struct
import zipfile

import pytest
from cryptography import x509
from lxml import etree

import widgetcheck
from conftest import APP_ID

LAYOUT = ["config.xml", "index.html", "main.js", "css/", "css/style.css", "wgt_ico.png",
          "author-signature.xml", "signature1.xml"]
AUTHOR_PROP = "lpo8tUDs054eLlBQXiDPVDVKfw30ZZdtkRs1jd7H5K8="
DISTRIBUTOR_PROP = "u/jU3U4Zm5ihTMSjKGlGYbWzDfRkGphPPHx3gJIYEJ4="


def test_eight_deflated_entries_in_order_with_fixed_headers(package_path):
    raw = package_path.read_bytes()
    with zipfile.ZipFile(package_path) as z:
        infos = z.infolist()
        assert [i.filename for i in infos] == LAYOUT
        assert z.testzip() is None
        for i in infos:
            assert i.compress_type == zipfile.ZIP_DEFLATED, i.filename
            assert i.flag_bits == 0, f"{i.filename}: no data descriptor"
            assert i.date_time == (2020, 1, 1, 0, 0, 0), i.filename
            assert i.extra == b"", i.filename
            # The local header repeats it: no extra field there either, sizes filled in.
            sig, _, flags, method, _, _, crc, csize, size, nlen, elen = struct.unpack_from(
                "<IHHHHHIIIHH", raw, i.header_offset)
            assert (sig, flags, method, elen) == (0x04034B50, 0, 8, 0), i.filename
            assert (crc, csize, size) == (i.CRC, i.compress_size, i.file_size), i.filename
            if i.filename == "css/":
                start = i.header_offset + 30 + nlen
                assert raw[start:start + csize] == b"\x03\x00"


def test_config_declares_the_installers_application(files):
    cfg = etree.fromstring(files["config.xml"])
    w, t = "{http://www.w3.org/ns/widgets}", "{http://tizen.org/ns/widgets}"
    app = cfg.find(f"{t}application")
    assert cfg.tag == f"{w}widget"
    assert cfg.get("version") == "1.0.0"
    assert (app.get("id"), app.get("package")) == (APP_ID, "Qw7TzLp2Xe")
    assert app.get("required_version")
    assert cfg.find(f"{w}name").text == "KAVORIN"
    assert cfg.find(f"{t}profile").get("name") == "tv-samsung"
    assert cfg.find(f"{w}content").get("src") == "index.html"
    assert cfg.find(f"{w}icon").get("src") == "wgt_ico.png"
    assert files["wgt_ico.png"].startswith(b"\x89PNG\r\n\x1a\n")


def test_our_widget_rule_checker_accepts_it(package_path, root_pem):
    assert widgetcheck.check_package(package_path, root_pem) == []


@pytest.mark.parametrize("name", ["author-signature.xml", "signature1.xml"])
def test_xmlsec1_verifies_against_the_test_root(files, xmlsec_verify, name):
    result = xmlsec_verify(files, name)
    assert result.returncode == 0, result.stderr
    refs = 6 if name == "author-signature.xml" else 7
    assert f"SignedInfo References (ok/all): {refs}/{refs}" in result.stderr


def test_prop_digests_equal_the_sdk_constants(files):
    assert widgetcheck.prop_digest(files["author-signature.xml"]) == AUTHOR_PROP
    assert widgetcheck.prop_digest(files["signature1.xml"]) == DISTRIBUTOR_PROP
    for name, digest in [("author-signature.xml", AUTHOR_PROP), ("signature1.xml", DISTRIBUTOR_PROP)]:
        assert f'<Reference URI="#prop">'.encode() in files[name]
        assert f"<DigestValue>{digest}</DigestValue>".encode() in files[name]


def test_key_info_is_leaf_first_without_root(files, keys_dir):
    for name, leaf in [("author-signature.xml", "author"), ("signature1.xml", "distributor")]:
        doc = etree.fromstring(files[name])
        ders = [base64.b64decode("".join(c.text.split()))
                for c in doc.findall("ds:KeyInfo/ds:X509Data/ds:X509Certificate", widgetcheck.NS)]
        expected = [x509.load_pem_x509_certificate((keys_dir / f).read_bytes())
                    for f in (f"{leaf}.crt", f"{leaf}-ca.crt")]
        assert [x509.load_der_x509_certificate(d) for d in ders] == expected, name


def test_references_are_sorted_by_encoded_uri(files):
    for name, expected in [
        ("author-signature.xml", ["config.xml", "css%2Fstyle.css", "index.html", "main.js", "wgt_ico.png"]),
        ("signature1.xml", ["author-signature.xml", "config.xml", "css%2Fstyle.css", "index.html", "main.js",
                            "wgt_ico.png"]),
    ]:
        doc = etree.fromstring(files[name])
        uris = [r.get("URI") for r in doc.findall("ds:SignedInfo/ds:Reference", widgetcheck.NS)]
        assert uris == expected + ["#prop"], name


def test_two_builds_give_identical_bytes(pack, source_dir, package_path, tmp_path):
    outputs = []
    for n in (1, 2):
        out = tmp_path / f"build{n}.wgt"
        result = pack(source_dir, out)
        assert result.returncode == 0, result.stderr
        outputs.append(out.read_bytes())
    assert outputs[0] == outputs[1]
    assert outputs[0] == package_path.read_bytes(), "the build's package is the one the packager makes"


def test_test_certificates_end_before_2038(keys_dir):
    for f in ["root-ca.crt", "author-ca.crt", "author.crt", "distributor-ca.crt", "distributor.crt"]:
        cert = x509.load_pem_x509_certificate((keys_dir / f).read_bytes())
        assert cert.not_valid_after < datetime.datetime(2038, 1, 19), f
        assert cert.public_key().key_size >= 2048, f
        assert "TEST" in cert.subject.rfc4514_string(), f"{f} must say it is a test certificate"
