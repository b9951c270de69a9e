"""Spoiled packages: each must fail our widget-rule checker (and, where XML-DSig can see it, xmlsec1)."""

import datetime

import pytest
from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from lxml import etree

import widgetcheck
from resign import drop_reference, resign, set_role
from widgetcheck import NS, ROLE_AUTHOR, ROLE_DISTRIBUTOR

CONTENT = ["config.xml", "index.html", "main.js", "css/style.css", "wgt_ico.png"]


def problems(files, root_pem):
    return "\n".join(widgetcheck.check_files(files, root_pem))


@pytest.mark.parametrize("name", CONTENT + ["author-signature.xml", "signature1.xml"])
def test_a_changed_byte_in_any_file_fails(files, root_pem, name):
    data = bytearray(files[name])
    data[len(data) // 2] ^= 0x01
    files[name] = bytes(data)
    found = problems(files, root_pem)
    assert found, f"a changed byte in {name} went unnoticed"
    if name in CONTENT:
        assert f"author-signature.xml: digest of {name.replace('/', '%2F')}" in found
        assert "signature1.xml: digest of" in found
    elif name == "author-signature.xml":
        assert "signature1.xml: digest of author-signature.xml does not match" in found


def test_a_changed_content_byte_fails_xmlsec1_too(files, xmlsec_verify):
    files["main.js"] += b" "
    for name in ("author-signature.xml", "signature1.xml"):
        assert xmlsec_verify(files, name).returncode != 0, name


def test_an_extra_file_fails_though_xmlsec1_accepts_it(files, root_pem, xmlsec_verify):
    files["extra.js"] = b"alert(1);"
    found = problems(files, root_pem)
    assert "author-signature.xml: does not cover extra.js" in found
    assert "signature1.xml: does not cover extra.js" in found
    # Plain XML-DSig has no notion of coverage: this is why the widget rules need their own check.
    assert xmlsec_verify(files, "author-signature.xml").returncode == 0


def test_a_wrong_role_fails_though_the_signatures_are_valid(files, root_pem, keys_dir, xmlsec_verify):
    author_key = (keys_dir / "author.key").read_bytes()
    distributor_key = (keys_dir / "distributor.key").read_bytes()
    files["author-signature.xml"] = resign(files["author-signature.xml"], author_key, files,
                                           set_role(ROLE_DISTRIBUTOR))
    files["signature1.xml"] = resign(files["signature1.xml"], distributor_key, files)
    found = problems(files, root_pem)
    assert "author-signature.xml: role property" in found and "does not match the file name" in found
    assert "signature1.xml" not in found, found
    assert xmlsec_verify(files, "author-signature.xml").returncode == 0, "still valid XML-DSig"
    assert xmlsec_verify(files, "signature1.xml").returncode == 0


def test_a_distributor_with_the_author_role_fails(files, root_pem, keys_dir):
    files["signature1.xml"] = resign(files["signature1.xml"], (keys_dir / "distributor.key").read_bytes(),
                                     files, set_role(ROLE_AUTHOR))
    assert "signature1.xml: role property" in problems(files, root_pem)


def test_the_distributor_must_cover_the_author_signature(files, root_pem, keys_dir):
    files["signature1.xml"] = resign(files["signature1.xml"], (keys_dir / "distributor.key").read_bytes(),
                                     files, drop_reference("author-signature.xml"))
    assert problems(files, root_pem) == "signature1.xml: does not cover author-signature.xml"


def test_the_author_must_cover_every_file(files, root_pem, keys_dir):
    files["author-signature.xml"] = resign(files["author-signature.xml"], (keys_dir / "author.key").read_bytes(),
                                           files, drop_reference("main.js"))
    files["signature1.xml"] = resign(files["signature1.xml"], (keys_dir / "distributor.key").read_bytes(), files)
    assert problems(files, root_pem) == "author-signature.xml: does not cover main.js"


def test_a_wrong_profile_fails(files, root_pem, keys_dir):
    def edit(root):
        root.find("ds:Object/ds:SignatureProperties/ds:SignatureProperty/dsp:Profile", NS).set("URI", "urn:x")
    files["signature1.xml"] = resign(files["signature1.xml"], (keys_dir / "distributor.key").read_bytes(),
                                     files, edit)
    assert "signature1.xml: profile property must be" in problems(files, root_pem)


def _other_root():
    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    name = x509.Name([x509.NameAttribute(x509.NameOID.COMMON_NAME, "KAVORIN Test Root CA")])
    now = datetime.datetime(2024, 1, 1)
    cert = (x509.CertificateBuilder().subject_name(name).issuer_name(name).public_key(key.public_key())
            .serial_number(1).not_valid_before(now).not_valid_after(now + datetime.timedelta(days=3650))
            .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
            .sign(key, hashes.SHA256()))
    return cert.public_bytes(serialization.Encoding.PEM)


def test_an_untrusted_root_fails(files, xmlsec1, tmp_path):
    impostor = _other_root()  # same name, different key
    found = problems(files, impostor)
    assert "author-signature.xml: certificate" in found and "is not issued by the trusted root" in found
    assert "signature1.xml: certificate" in found


def test_a_missing_intermediate_fails_both_checks(files, root_pem, xmlsec_verify):
    doc = etree.fromstring(files["author-signature.xml"])
    x509data = doc.find("ds:KeyInfo/ds:X509Data", NS)
    x509data.remove(x509data.findall("ds:X509Certificate", NS)[1])  # KeyInfo is not signed
    files["author-signature.xml"] = etree.tostring(doc)
    found = problems(files, root_pem)
    assert "author-signature.xml: certificate" in found and "is not issued by the trusted root" in found
    assert xmlsec_verify(files, "author-signature.xml").returncode != 0
