"""Independent checker of a signed Tizen widget package, written from the widget signing rules
rather than from our packager's code.

xmlsec1 only checks XML-DSig. The TV's installer also insists on the widget rules, and this
checker applies them: every file is referenced by the author signature; each distributor
signature covers those files and the exact bytes of author-signature.xml; role, profile and
identifier properties are present and match the file name; every Object is referenced; every
digest and the SignatureValue verify; the certificate chain in KeyInfo leads to the trusted root.

Usage as a program: widgetcheck.py PACKAGE.wgt ROOT.pem   (exit status 0 when the package passes)
"""

import base64
import datetime
import hashlib
import re
import sys
import urllib.parse
import zipfile

from cryptography import x509
from cryptography.exceptions import InvalidSignature
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import padding, rsa
from lxml import etree

DSIG = "http://www.w3.org/2000/09/xmldsig#"
DSP = "http://www.w3.org/2009/xmldsig-properties"
NS = {"ds": DSIG, "dsp": DSP}
EXC_C14N = "http://www.w3.org/2001/10/xml-exc-c14n#"
C14N11 = "http://www.w3.org/2006/12/xml-c14n11"
RSA_SHA256 = "http://www.w3.org/2001/04/xmldsig-more#rsa-sha256"
SHA256 = "http://www.w3.org/2001/04/xmlenc#sha256"
PROFILE = "http://www.w3.org/ns/widgets-digsig#profile"
ROLE_AUTHOR = "http://www.w3.org/ns/widgets-digsig#role-author"
ROLE_DISTRIBUTOR = "http://www.w3.org/ns/widgets-digsig#role-distributor"

AUTHOR_FILE = "author-signature.xml"
DISTRIBUTOR_RE = re.compile(r"^signature([1-9][0-9]*)\.xml$")

_PARSER = etree.XMLParser(resolve_entities=False, no_network=True, remove_blank_text=False)


def b64_sha256(data):
    return base64.b64encode(hashlib.sha256(data).digest()).decode("ascii")


def read_package(path):
    """The package's files (directories left out) as {name: bytes}."""
    with zipfile.ZipFile(path) as z:
        return {i.filename: z.read(i) for i in z.infolist() if not i.is_dir()}


def standalone(elem):
    """A copy of elem as the root of its own document, carrying the namespaces in scope.

    lxml's c14n of a sub-element misses inherited namespaces (and would add the tail), so
    canonicalise a re-parsed copy instead."""
    clone = etree.Element(elem.tag, attrib=dict(elem.attrib), nsmap=elem.nsmap)
    clone.text = elem.text
    for child in elem:
        clone.append(etree.fromstring(etree.tostring(child, with_tail=False), _PARSER))
        clone[-1].tail = child.tail
    return etree.fromstring(etree.tostring(clone), _PARSER)


def c14n(elem, exclusive):
    return etree.tostring(standalone(elem), method="c14n", exclusive=exclusive, with_comments=False)


def decode_uri(uri):
    """Percent-decoding as the device does it: no '+' to space, no escapes of 0x80 and up."""
    for m in re.finditer(r"%([0-9A-Fa-f]{2})", uri):
        if int(m.group(1), 16) >= 0x80:
            raise ValueError("escape of a non-ASCII byte")
    if "%" in re.sub(r"%[0-9A-Fa-f]{2}", "", uri):
        raise ValueError("bad percent escape")
    return urllib.parse.unquote(uri, errors="strict")


def signature_files(files):
    """Signature files in the order validators process them: distributors by number, author last."""
    numbered = sorted((int(m.group(1)), name) for name in files if (m := DISTRIBUTOR_RE.match(name)))
    order = [name for _, name in numbered]
    if AUTHOR_FILE in files:
        order.append(AUTHOR_FILE)
    return order


def is_signature_file(name):
    return name == AUTHOR_FILE or DISTRIBUTOR_RE.match(name) is not None


def _verify_issued(cert, issuer):
    issuer.public_key().verify(cert.signature, cert.tbs_certificate_bytes, padding.PKCS1v15(),
                               cert.signature_hash_algorithm)


def check_chain(name, certs, root, now, problems):
    """KeyInfo: leaf first, each certificate issued by the next, the last by the trusted root."""
    if not certs:
        problems.append(f"{name}: KeyInfo holds no certificate")
        return
    chain = certs + [root]
    for i, cert in enumerate(certs):
        subject = cert.subject.rfc4514_string()
        if cert.issuer == cert.subject:
            problems.append(f"{name}: KeyInfo holds the self-signed {subject}; the root is left out")
        if not isinstance(cert.public_key(), rsa.RSAPublicKey) or cert.public_key().key_size < 2048:
            problems.append(f"{name}: certificate {subject} needs an RSA key of at least 2048 bits")
        if not (cert.not_valid_before <= now <= cert.not_valid_after):
            problems.append(f"{name}: certificate {subject} is not valid at {now:%Y-%m-%d}")
        if cert.not_valid_after >= datetime.datetime(2038, 1, 19):
            problems.append(f"{name}: certificate {subject} outlives 2038-01-19")
        issuer = chain[i + 1]
        try:
            if cert.issuer != issuer.subject:
                raise InvalidSignature()
            _verify_issued(cert, issuer)
        except InvalidSignature:
            what = "the trusted root" if issuer is root else issuer.subject.rfc4514_string()
            problems.append(f"{name}: certificate {subject} is not issued by {what}")
            return
        if i > 0:
            try:
                ca = cert.extensions.get_extension_for_class(x509.BasicConstraints).value.ca
            except x509.ExtensionNotFound:
                ca = False
            if not ca:
                problems.append(f"{name}: certificate {subject} signs others but is not a CA")


def check_signature(name, files, root, now):
    """Problems with one signature file, each as 'file: reason'."""
    problems = []
    author = name == AUTHOR_FILE
    expected_id = "AuthorSignature" if author else "DistributorSignature"
    expected_role = ROLE_AUTHOR if author else ROLE_DISTRIBUTOR
    try:
        doc = etree.fromstring(files[name], _PARSER)
    except etree.XMLSyntaxError as e:
        return [f"{name}: not well-formed XML ({e})"]
    if doc.tag != f"{{{DSIG}}}Signature":
        return [f"{name}: root element is not ds:Signature"]
    sig_id = doc.get("Id")
    if sig_id != expected_id:
        problems.append(f"{name}: Signature Id is {sig_id!r}, expected {expected_id!r}")

    signed_info = doc.find("ds:SignedInfo", NS)
    if signed_info is None:
        return problems + [f"{name}: no SignedInfo"]
    c14n_method = signed_info.find("ds:CanonicalizationMethod", NS)
    sig_method = signed_info.find("ds:SignatureMethod", NS)
    if c14n_method is None or c14n_method.get("Algorithm") != EXC_C14N:
        problems.append(f"{name}: SignedInfo is not canonicalised with exclusive c14n")
    if sig_method is None or sig_method.get("Algorithm") != RSA_SHA256:
        problems.append(f"{name}: SignatureMethod is not RSA-SHA256")

    # Objects: exactly one, with an Id, one SignatureProperties, the widget properties.
    objects = doc.findall("ds:Object", NS)
    object_ids = {o.get("Id"): o for o in objects}
    if len(objects) != 1 or None in object_ids:
        problems.append(f"{name}: expected exactly one ds:Object, with an Id")
    for obj in objects:
        props = obj.findall("ds:SignatureProperties", NS)
        if len(props) != 1:
            problems.append(f"{name}: Object {obj.get('Id')!r} needs exactly one SignatureProperties")
            continue
        target = f"#{sig_id}"
        found = {}
        for prop in props[0].findall("ds:SignatureProperty", NS):
            if prop.get("Target") != target:
                problems.append(f"{name}: SignatureProperty {prop.get('Id')!r} targets {prop.get('Target')!r}")
            for child in prop:
                found.setdefault(etree.QName(child).localname, []).append(child)
        profiles = found.get("Profile", [])
        roles = found.get("Role", [])
        if len(profiles) != 1 or profiles[0].get("URI") != PROFILE:
            problems.append(f"{name}: profile property must be exactly {PROFILE}")
        if len(roles) != 1 or roles[0].get("URI") != expected_role:
            got = [r.get("URI") for r in roles]
            problems.append(f"{name}: role property {got} does not match the file name (expected {expected_role})")
        if len(found.get("Identifier", [])) != 1:
            problems.append(f"{name}: needs exactly one Identifier property")

    # References: digests, coverage, no transforms on files.
    referenced_files = []
    referenced_objects = set()
    for ref in signed_info.findall("ds:Reference", NS):
        uri = ref.get("URI", "")
        method = ref.find("ds:DigestMethod", NS)
        value = ref.find("ds:DigestValue", NS)
        if method is None or method.get("Algorithm") != SHA256 or value is None:
            problems.append(f"{name}: reference {uri!r} does not use a SHA-256 digest")
            continue
        transforms = [t.get("Algorithm") for t in ref.findall("ds:Transforms/ds:Transform", NS)]
        if uri.startswith("#"):
            obj = object_ids.get(uri[1:])
            if obj is None:
                problems.append(f"{name}: reference {uri!r} names no Object")
                continue
            referenced_objects.add(uri[1:])
            if transforms != [C14N11]:
                problems.append(f"{name}: reference {uri!r} must use the c14n 1.1 transform")
            # Inclusive c14n 1.0 and 1.1 agree for this content (no xml:* attributes).
            data = c14n(obj, exclusive=False)
        else:
            try:
                path = decode_uri(uri)
            except ValueError as e:
                problems.append(f"{name}: reference {uri!r}: {e}")
                continue
            if transforms:
                problems.append(f"{name}: reference {uri!r} must have no transforms")
            if path not in files:
                problems.append(f"{name}: references {path}, which the package does not hold")
                continue
            referenced_files.append(path)
            data = files[path]
        if (value.text or "").strip() != b64_sha256(data):
            problems.append(f"{name}: digest of {uri} does not match")

    for oid in object_ids:
        if oid not in referenced_objects:
            problems.append(f"{name}: Object {oid!r} is not referenced")
    if len(set(referenced_files)) != len(referenced_files):
        problems.append(f"{name}: a file is referenced twice")
    must_cover = {f for f in files if not is_signature_file(f)}
    if not author:
        must_cover.add(AUTHOR_FILE)
    for missing in sorted(must_cover - set(referenced_files)):
        problems.append(f"{name}: does not cover {missing}")
    for extra in sorted(set(referenced_files) - must_cover):
        problems.append(f"{name}: must not cover {extra}")

    # SignatureValue over the canonical SignedInfo, with the leaf's key; then the chain.
    certs = []
    for text in doc.findall("ds:KeyInfo/ds:X509Data/ds:X509Certificate", NS):
        try:
            certs.append(x509.load_der_x509_certificate(base64.b64decode("".join(text.text.split()))))
        except (ValueError, TypeError, AttributeError):
            problems.append(f"{name}: KeyInfo holds a certificate that cannot be read")
    value_elem = doc.find("ds:SignatureValue", NS)
    if not certs or value_elem is None or not value_elem.text:
        return problems + [f"{name}: no SignatureValue or no certificate"]
    try:
        certs[0].public_key().verify(base64.b64decode("".join(value_elem.text.split())),
                                     c14n(signed_info, exclusive=True), padding.PKCS1v15(), hashes.SHA256())
    except (InvalidSignature, ValueError):
        problems.append(f"{name}: SignatureValue does not verify with the first certificate's key")
    check_chain(name, certs, root, now, problems)
    return problems


def check_files(files, root_pem, now=None):
    """All problems of a package given as {name: bytes}; an empty list means it passes."""
    now = now or datetime.datetime.utcnow()
    root = x509.load_pem_x509_certificate(root_pem)
    problems = []
    for name in files:
        if not name.isascii() or " " in name or "\\" in name or name.startswith("/") or ".." in name.split("/"):
            problems.append(f"{name}: not a name a package entry may have")
    if AUTHOR_FILE not in files:
        problems.append(f"{AUTHOR_FILE}: missing")
    if not any(DISTRIBUTOR_RE.match(n) for n in files):
        problems.append("signature1.xml: no distributor signature")
    for name in signature_files(files):
        problems.extend(check_signature(name, files, root, now))
    return problems


def check_package(path, root_pem, now=None):
    return check_files(read_package(path), root_pem, now)


def prop_digest(signature_xml):
    """Digest of the #prop Object of a signature file, computed here from its XML."""
    doc = etree.fromstring(signature_xml, _PARSER)
    return b64_sha256(c14n(doc.find("ds:Object", NS), exclusive=False))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[2], "rb") as f:
        found = check_package(sys.argv[1], f.read())
    for p in found:
        print(p)
    print("OK" if not found else f"{len(found)} problem(s)")
    sys.exit(1 if found else 0)
