"""Builds signed widget packages for the simulator's tests (zipfile + hashlib + a test key).

Signature files are written already in canonical form, so the bytes that are hashed and signed
are plain strings; the simulator recomputes them with its own canonicalizer, which is the point.
"""

import base64
import datetime
import functools
import hashlib
import io
import zipfile

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding, rsa
from cryptography.x509.oid import NameOID

APP_ID = "Qw7TzLp2Xe.KAVORIN"
DS = "http://www.w3.org/2000/09/xmldsig#"
DIGSIG = "http://www.w3.org/ns/widgets-digsig"
ROLE_AUTHOR = DIGSIG + "#role-author"
ROLE_DISTRIBUTOR = DIGSIG + "#role-distributor"
ORDER = ("config.xml", "index.html", "main.js", "css/", "css/style.css", "wgt_ico.png",
         "author-signature.xml", "signature1.xml")

# A 1x1 PNG is enough for an icon the TV never looks at here.
ICON = base64.b64decode(
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg==")


def config_xml(app_id=APP_ID, package=None, name="KAVORIN"):
    package = package if package is not None else app_id.split(".")[0]
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<widget xmlns="http://www.w3.org/ns/widgets" xmlns:tizen="http://tizen.org/ns/widgets"'
            ' id="http://kavorin.example/app" version="1.0.0" viewmodes="maximized">\n'
            '<tizen:application id="%s" package="%s" required_version="2.3"/>\n'
            '<content src="index.html"/>\n<icon src="wgt_ico.png"/>\n<name>%s</name>\n'
            '<tizen:profile name="tv-samsung"/>\n</widget>\n' % (app_id, package, name)).encode()


def content_files(app_id=APP_ID):
    return {
        "config.xml": config_xml(app_id),
        "index.html": b"<!DOCTYPE html><html><head><link rel=\"stylesheet\" href=\"css/style.css\">"
                      b"<script src=\"main.js\"></script></head><body>KAVORIN</body></html>\n",
        "main.js": b"window.onload = function () { document.body.className = 'ready'; };\n",
        "css/style.css": b"body { background: #102030; color: #fff; }\n",
        "wgt_ico.png": ICON,
    }


@functools.lru_cache(maxsize=None)
def signing_key(name="author"):
    """(private key, base64 DER certificate) of a self-signed test certificate."""
    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    subject = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "tvsim test %s" % name)])
    now = datetime.datetime(2024, 1, 1)
    cert = (x509.CertificateBuilder().subject_name(subject).issuer_name(subject)
            .public_key(key.public_key()).serial_number(1)
            .not_valid_before(now).not_valid_after(now + datetime.timedelta(days=3650))
            .sign(key, hashes.SHA256()))
    return key, base64.b64encode(cert.public_bytes(serialization.Encoding.DER)).decode()


def encode_uri(name):
    return "".join(c if (c.isascii() and (c.isalnum() or c in "-._~")) else "%%%02X" % ord(c)
                   for c in name)


def _wrap76(text):
    return "\n".join(text[i:i + 76] for i in range(0, len(text), 76))


def _b64sha(data):
    return base64.b64encode(hashlib.sha256(data).digest()).decode()


def prop_object(sig_id, role):
    props = "".join(
        '<SignatureProperty Id="%s" Target="#%s">%s</SignatureProperty>' % (pid, sig_id, inner)
        for pid, inner in (
            ("profile", '<dsp:Profile URI="%s#profile"></dsp:Profile>' % DIGSIG),
            ("role", '<dsp:Role URI="%s"></dsp:Role>' % role),
            ("identifier", "<dsp:Identifier></dsp:Identifier>")))
    return ('<Object Id="prop"><SignatureProperties xmlns:dsp="http://www.w3.org/2009/xmldsig-properties">'
            '%s</SignatureProperties></Object>' % props)


def signature_xml(files, sig_id, role, key_name="author", uri=encode_uri, prop_digest=None):
    """One signature file over `files` (name -> bytes), written in canonical form."""
    key, cert = signing_key(key_name)
    obj = prop_object(sig_id, role)
    obj_c14n = obj.replace("<Object", '<Object xmlns="%s"' % DS, 1)
    refs = []
    for name in sorted(files, key=lambda n: uri(n).encode()):
        refs.append('<Reference URI="%s">\n<DigestMethod Algorithm="http://www.w3.org/2001/04/xmlenc#sha256">'
                    '</DigestMethod>\n<DigestValue>%s</DigestValue>\n</Reference>'
                    % (uri(name), _b64sha(files[name])))
    refs.append('<Reference URI="#prop">\n<Transforms>\n<Transform Algorithm="http://www.w3.org/2006/12/xml-c14n11">'
                '</Transform>\n</Transforms>\n<DigestMethod Algorithm="http://www.w3.org/2001/04/xmlenc#sha256">'
                '</DigestMethod>\n<DigestValue>%s</DigestValue>\n</Reference>'
                % (prop_digest or _b64sha(obj_c14n.encode())))
    inner = ('\n<CanonicalizationMethod Algorithm="http://www.w3.org/2001/10/xml-exc-c14n#"></CanonicalizationMethod>\n'
             '<SignatureMethod Algorithm="http://www.w3.org/2001/04/xmldsig-more#rsa-sha256"></SignatureMethod>\n'
             + "\n".join(refs) + "\n")
    signed = ('<SignedInfo xmlns="%s">' % DS + inner + "</SignedInfo>").encode()
    value = base64.b64encode(key.sign(signed, padding.PKCS1v15(), hashes.SHA256())).decode()
    return ('<Signature xmlns="%s" Id="%s">\n<SignedInfo>%s</SignedInfo>\n'
            '<SignatureValue>\n%s\n</SignatureValue>\n'
            '<KeyInfo>\n<X509Data>\n<X509Certificate>\n%s\n</X509Certificate>\n</X509Data>\n</KeyInfo>\n'
            '%s\n</Signature>' % (DS, sig_id, inner, _wrap76(value), _wrap76(cert), obj)).encode()


def build(app_id=APP_ID, content=None, author_role=ROLE_AUTHOR, dist_role=ROLE_DISTRIBUTOR,
          key_name="author", uri=encode_uri, after_sign=None):
    """A signed package as zip bytes. after_sign(entries) may change the entries (an ordered
    dict of name -> bytes, None for the directory) after signing, to make a broken package."""
    files = content if content is not None else content_files(app_id)
    author = signature_xml(files, "AuthorSignature", author_role, key_name, uri)
    dist_files = dict(files)
    dist_files["author-signature.xml"] = author
    dist = signature_xml(dist_files, "DistributorSignature", dist_role, "distributor", uri)
    entries = {}
    for name in ORDER:
        if name.endswith("/"):
            entries[name] = None
        elif name == "author-signature.xml":
            entries[name] = author
        elif name == "signature1.xml":
            entries[name] = dist
        elif name in files:
            entries[name] = files[name]
    for name in files:
        entries.setdefault(name, files[name])
    if after_sign:
        after_sign(entries)
    return zip_entries(entries)


def zip_entries(entries):
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w") as zf:
        for name, data in entries.items():
            info = zipfile.ZipInfo(name, date_time=(2020, 1, 1, 0, 0, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3
            info.external_attr = ((0o40755 if data is None else 0o100644) << 16) | (0x10 if data is None else 0)
            zf.writestr(info, b"" if data is None else data)
    return out.getvalue()


STAGE = "/home/owner/share/tmp/sdk_tools/tmp"
PKG_PATH = STAGE + "/KAVORIN.wgt"


def install_command(app_id=APP_ID, path=PKG_PATH):
    """The install line exactly as the installer sends it."""
    return "0 vd_appinstall %s %s; echo cmd_ret:$?;" % (app_id, path)
