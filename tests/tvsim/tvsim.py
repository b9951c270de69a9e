#!/usr/bin/python3
"""A Samsung Tizen TV on loopback, as far as the installer talks to it.

It plays the TV's device daemon on TCP: waits for the host's CNXN, answers with its own,
serves `capability:`, `sync:` pushes into a small TV file system under --root, and `shell:`
with the TV's `0 <verb>` commands and their recorded output. `0 vd_appinstall` checks the
pushed widget package the way the TV does (entries, config.xml id, signature coverage,
digests, roles) before it reports the install. Every message is checked like the TV's
daemon checks it; anything a client gets wrong is written to a JSON-lines journal that the
tests read.

Run it:
    /usr/bin/python3 tests/tvsim/tvsim.py --port 0 --scenario success --root DIR \
        --journal FILE --ready-file F
or import it and use TvSim(port=0, ...).start() / .stop().

Only the Python standard library is needed; python3-cryptography, when present, also lets the
package check verify each signature's RSA value against the certificate that the signature
carries (not against a trust root: a test key is never trusted by a retail TV anyway).
"""

import argparse
import base64
import collections
import errno
import hashlib
import heapq
import io
import ipaddress
import json
import os
import posixpath
import re
import select
import shutil
import signal
import socket
import struct
import sys
import threading
import time
import xml.etree.ElementTree as ET
import xml.parsers.expat
import zipfile
import zlib
import importlib.util

_HERE = os.path.dirname(os.path.abspath(__file__))


def _load(name, path):
    spec = importlib.util.spec_from_file_location(name, path)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


# The TV's REST service (port 8001) and its SSDP answers, beside this file; loaded by path, as
# tvsim itself may be. The proof that a LAN address is one of a private namespace's own.
rest = _load("tvsim_rest", os.path.join(_HERE, "rest.py"))
ssdp_answers = _load("tvsim_ssdp", os.path.join(_HERE, "ssdp.py"))
check_netns = _load("tvsim_check_netns", os.path.join(_HERE, "..", "..", "tools", "check-netns.py"))

try:  # optional: RSA check of SignatureValue
    from cryptography import x509 as _x509
    from cryptography.hazmat.primitives import hashes as _hashes
    from cryptography.hazmat.primitives.asymmetric import padding as _padding
except ImportError:  # pragma: no cover - depends on the machine
    _x509 = None

# ---------------------------------------------------------------------------------------------
# Wire protocol constants

A_CNXN = 0x4E584E43
A_OPEN = 0x4E45504F
A_OKAY = 0x59414B4F
A_WRTE = 0x45545257
A_CLSE = 0x45534C43
A_STAT = 0x54415453
A_AUTH = 0x48545541
A_ENCR = 0x40682018
COMMAND_NAMES = {A_CNXN: "CNXN", A_OPEN: "OPEN", A_OKAY: "OKAY", A_WRTE: "WRTE",
                 A_CLSE: "CLSE", A_STAT: "STAT", A_AUTH: "AUTH", A_ENCR: "ENCR"}

TV_VERSION = 0x02000000
HEADER = struct.Struct("<6I")

# sync: sub-protocol ids (4 ASCII bytes read as a little-endian uint32)
ID_STAT = 0x54415453
ID_SEND = 0x444E4553
ID_DATA = 0x41544144
ID_DONE = 0x454E4F44
ID_OKAY = 0x59414B4F
ID_FAIL = 0x4C494146
ID_QUIT = 0x54495551
SYNC_DATA_MAX = 65536
SYNC_NAME_MAX = 1024

SHELL_SUFFIX = "; echo cmd_ret:$?;"
# A TV that stops answering: at the handshake, in the middle of an upload, during the install.
STALLS = ("stall-connect", "stall-push", "stall-install")
SCENARIOS = ("success", "wrong-host", "install-cert-fail", "no-space", "drop-push", "slow", "lf", "crlf") + \
    STALLS + tuple(rest.SCENARIOS)
# How the capability answer leaves: the daemon sends it sometimes as one WRTE, sometimes as two
# (the 2-byte length, then the body); "alternate" takes turns, starting with one.
CAPABILITY_WRITES = ("alternate", "one", "two")
DEFAULT_MODEL = "UA32N4200"

# Time the TV takes to acknowledge a host WRTE. Long enough that a host which sends a second
# WRTE without waiting for the OKAY of the first one is caught doing so on loopback.
ACK_DELAY = 0.005

# ---------------------------------------------------------------------------------------------
# What the TV generations look like (capability lines recorded from real sets)

_CAPS_40 = """secure_protocol:enabled
intershell_support:disabled
filesync_support:push
usbproto_support:disabled
sockproto_support:enabled
syncwinsz_support:enabled
sdbd_rootperm:disabled
rootonoff_support:disabled
encryption_support:disabled
zone_support:disabled
multiuser_support:enabled
cpu_arch:armv7
sdk_toolpath:/home/owner/share/tmp/sdk_tools
profile_name:tv
vendor_name:Samsung
can_launch:tv-samsung
device_name:Tizen
platform_version:4.0
product_version:4.0
sdbd_version:2.2.31
sdbd_plugin_version:3.4.0_TV_REL
sdbd_cap_version:1.0
log_enable:disabled
log_path:/tmp
appcmd_support:disabled
appid2pid_support:enabled
pkgcmd_debugmode:enabled
"""

_CAPS_24 = """secure_protocol:enabled
intershell_support:disabled
filesync_support:push
usbproto_support:enabled
sockproto_support:enabled
syncwinsz_support:enabled
rootonoff_support:disabled
zone_support:disabled
multiuser_support:disabled
cpu_arch:armv7
profile_name:tv
vendor_name:Samsung
can_launch:tv-samsung-public_-_tv-samsung-partner
platform_version:2.4.0
product_version:2.0
sdbd_version:2.2.31
sdbd_plugin_version:1.0.0
sdbd_cap_version:1.0
"""

# Per generation: capability text, the path `0 getappinstallpath` reports, where apps are
# unpacked, the directories a developer may write to (a push elsewhere fails, as pushes to the
# old staging folder do on 4.0 sets), and directories that exist from the start.
GENERATIONS = {
    "4.0": {
        "caps": _CAPS_40,
        "install_path": "/opt/usr/home/owner/apps_rw",
        "writable": ("/home/owner/share", "/tmp"),
        "initial_dirs": ("/home/owner/share/tmp/sdk_tools", "/opt/usr/apps", "/tmp"),
    },
    "2.4": {
        "caps": _CAPS_24,
        "install_path": "/opt/usr/apps",
        "writable": ("/opt/usr/apps/tmp", "/tmp"),
        "initial_dirs": ("/opt/usr/apps/tmp", "/tmp"),
    },
}

# Applications every set already has (shown by `0 applist`, cannot be uninstalled here).
PREINSTALLED = (
    {"label": "Photo player", "app_id": "org.tizen.mycontent-photo-player-tv",
     "package": "org.tizen.mycontent-photo-player-tv", "version": "1.0.0", "guid": ""},
    {"label": "AVControl", "app_id": "org.tizen.AVControl", "package": "org.tizen.AVControl",
     "version": "1.0.0", "guid": ""},
    {"label": "SMSourceAPP", "app_id": "org.tizen.SMSourceAPP", "package": "org.tizen.SMSourceAPP",
     "version": "1.0.0", "guid": ""},
)

INSTALL_PROGRESS = (8, 15, 23, 38, 46, 53, 61, 69, 76, 84, 92, 100)
UNINSTALL_PROGRESS = (14, 57)


def pack_message(command, arg0, arg1, data=b""):
    """One transport message: 24-byte little-endian header, then the payload."""
    return HEADER.pack(command, arg0, arg1, len(data), sum(data) & 0xFFFFFFFF,
                       command ^ 0xFFFFFFFF) + data


# ---------------------------------------------------------------------------------------------
# Package check (what the TV's installer and its certificate service look at)

W_NS = "http://www.w3.org/ns/widgets"
TIZEN_NS = "http://tizen.org/ns/widgets"
DS_NS = "http://www.w3.org/2000/09/xmldsig#"
DSP_NS = "http://www.w3.org/2009/xmldsig-properties"
DIGSIG = "http://www.w3.org/ns/widgets-digsig"
PROFILE_URI = DIGSIG + "#profile"
ROLE_AUTHOR = DIGSIG + "#role-author"
ROLE_DISTRIBUTOR = DIGSIG + "#role-distributor"

EXPECTED_ENTRIES = ("config.xml", "index.html", "main.js", "css/", "css/style.css",
                    "wgt_ico.png", "author-signature.xml", "signature1.xml")
AUTHOR_SIG = "author-signature.xml"
DIST_SIG = "signature1.xml"
_DIST_SIG_RE = re.compile(r"^signature[1-9][0-9]*\.xml$")
_APP_ID_RE = re.compile(r"^[0-9a-zA-Z]{10}[.][0-9a-zA-Z]{1,52}$")
_PKG_ID_RE = re.compile(r"^[0-9a-zA-Z]{10}$")
MAX_UNPACKED = 64 * 1024 * 1024

DIGEST_ALGS = {
    "http://www.w3.org/2001/04/xmlenc#sha256": hashlib.sha256,
    "http://www.w3.org/2001/04/xmlenc#sha512": hashlib.sha512,
}
C14N_INCLUSIVE = ("http://www.w3.org/TR/2001/REC-xml-c14n-20010315",
                  "http://www.w3.org/TR/2001/REC-xml-c14n-20010315#WithComments",
                  "http://www.w3.org/2006/12/xml-c14n11",
                  "http://www.w3.org/2006/12/xml-c14n11#WithComments")
C14N_EXCLUSIVE = ("http://www.w3.org/2001/10/xml-exc-c14n#",
                  "http://www.w3.org/2001/10/xml-exc-c14n#WithComments")

FAIL_ARCHIVE = (-4, "Load archive info fail")
FAIL_CERT = (-12, "Check certificate error")
FAIL_AUTHOR_MISMATCH = (-11, "Author certificate not match :")


class PackageError(Exception):
    """The package is refused; code/reason are what the TV prints, detail says why."""

    def __init__(self, kind, detail):
        super().__init__(detail)
        self.code, self.reason = kind
        self.detail = detail


def percent_encode(name):
    """The URI the signing tool writes for a zip path: every byte but A-Z a-z 0-9 - . _ ~ as %XX."""
    out = []
    for b in name.encode("utf-8"):
        c = chr(b)
        if c.isascii() and (c.isalnum() or c in "-._~"):
            out.append(c)
        else:
            out.append("%%%02X" % b)
    return "".join(out)


def percent_decode(uri):
    """Decode %XX like the TV does: escapes of 0x80 and above are refused, '+' stays '+'."""
    out = bytearray()
    i = 0
    while i < len(uri):
        c = uri[i]
        if c == "%":
            h = uri[i + 1:i + 3]
            if len(h) != 2 or any(ch not in "0123456789abcdefABCDEF" for ch in h):
                return None
            v = int(h, 16)
            if v >= 0x80:
                return None
            out.append(v)
            i += 3
        else:
            if ord(c) >= 0x80:
                return None
            out.append(ord(c))
            i += 1
    return out.decode("ascii")


class _XNode:
    """Element of a parsed signature file, kept with its raw qualified names for c14n."""
    __slots__ = ("qname", "attrs", "children", "scope")

    def __init__(self, qname, attrs, scope):
        self.qname = qname
        self.attrs = attrs          # [(qname, value)] in document order, xmlns* included
        self.children = []          # _XNode or str
        self.scope = scope          # prefix -> namespace URI in scope here ("" = default)

    def local(self):
        return self.qname.rsplit(":", 1)[-1]

    def ns(self):
        prefix = self.qname.split(":", 1)[0] if ":" in self.qname else ""
        return self.scope.get(prefix, "")

    def get(self, name):
        for k, v in self.attrs:
            if k == name:
                return v
        return None

    def iter(self):
        yield self
        for c in self.children:
            if isinstance(c, _XNode):
                yield from c.iter()


def _parse_xtree(raw):
    """Parse XML into _XNode with namespace scopes (namespace processing done by hand so the
    canonical form can be produced exactly)."""
    parser = xml.parsers.expat.ParserCreate()
    parser.ordered_attributes = True
    parser.buffer_text = True
    stack = []
    root = []

    def start(name, attrlist):
        attrs = list(zip(attrlist[0::2], attrlist[1::2]))
        scope = dict(stack[-1].scope) if stack else {"": ""}
        for k, v in attrs:
            if k == "xmlns":
                scope[""] = v
            elif k.startswith("xmlns:"):
                scope[k[6:]] = v
        node = _XNode(name, attrs, scope)
        if stack:
            stack[-1].children.append(node)
        else:
            root.append(node)
        stack.append(node)

    def end(_name):
        stack.pop()

    def text(data):
        if stack:
            stack[-1].children.append(data)

    parser.StartElementHandler = start
    parser.EndElementHandler = end
    parser.CharacterDataHandler = text
    parser.Parse(raw, True)
    return root[0]


def _c14n_text(s):
    return s.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;").replace("\r", "&#xD;")


def _c14n_attr(s):
    return (s.replace("&", "&amp;").replace("<", "&lt;").replace('"', "&quot;")
            .replace("\t", "&#x9;").replace("\n", "&#xA;").replace("\r", "&#xD;"))


def canonicalize(node, exclusive):
    """Canonical XML (inclusive 1.0/1.1 or exclusive, without comments) of the subtree at node.

    Enough for signature files: no xml:* attribute inheritance, no inclusive-prefix list."""
    out = []

    def emit(n, rendered):
        # namespace declarations to write on this element
        decls = {}
        if exclusive:
            used = set()
            used.add(n.qname.split(":", 1)[0] if ":" in n.qname else "")
            for k, _ in n.attrs:
                if k != "xmlns" and not k.startswith("xmlns:") and ":" in k:
                    used.add(k.split(":", 1)[0])
            for p in used:
                uri = n.scope.get(p, "")
                if rendered.get(p, "") != uri:
                    decls[p] = uri
        else:
            for p, uri in n.scope.items():
                if rendered.get(p, "") != uri:
                    decls[p] = uri
        here = dict(rendered)
        here.update(decls)
        ns_attrs = sorted(decls.items(), key=lambda kv: kv[0])
        plain = []
        for k, v in n.attrs:
            if k == "xmlns" or k.startswith("xmlns:"):
                continue
            if ":" in k:
                p, local = k.split(":", 1)
                plain.append(((n.scope.get(p, ""), local), k, v))
            else:
                plain.append((("", k), k, v))
        plain.sort(key=lambda t: t[0])
        out.append("<" + n.qname)
        for p, uri in ns_attrs:
            out.append(' %s="%s"' % ("xmlns:" + p if p else "xmlns", _c14n_attr(uri)))
        for _, k, v in plain:
            out.append(' %s="%s"' % (k, _c14n_attr(v)))
        out.append(">")
        for c in n.children:
            if isinstance(c, _XNode):
                emit(c, here)
            else:
                out.append(_c14n_text(c))
        out.append("</%s>" % n.qname)

    emit(node, {"": ""})
    return "".join(out).encode("utf-8")


def _b64(text):
    try:
        return base64.b64decode("".join((text or "").split()), validate=True)
    except (ValueError, TypeError):
        return None


def check_signature_file(name, raw, files, role):
    """Check one signature file: every file in `files` (name -> bytes) referenced exactly once
    with a matching digest, nothing else referenced, the properties object referenced, the
    profile and role right. Returns the leaf certificate's base64 text (may be empty)."""
    def fail(why):
        raise PackageError(FAIL_CERT, "%s: %s" % (name, why))

    try:
        root = _parse_xtree(raw)
    except xml.parsers.expat.ExpatError as e:
        fail("not well-formed XML (%s)" % e)
    if root.local() != "Signature" or root.ns() != DS_NS:
        fail("root element is not ds:Signature")
    sig_id = root.get("Id") or ""
    kids = [c for c in root.children if isinstance(c, _XNode)]
    signed_info = next((c for c in kids if c.local() == "SignedInfo" and c.ns() == DS_NS), None)
    if signed_info is None:
        fail("no SignedInfo")
    objects = [c for c in kids if c.local() == "Object" and c.ns() == DS_NS]
    objects_by_id = {}
    for o in objects:
        oid = o.get("Id")
        if not oid:
            fail("an Object has no Id")
        objects_by_id[oid] = o

    def child(n, local):
        return next((c for c in n.children if isinstance(c, _XNode) and c.local() == local
                     and c.ns() == DS_NS), None)

    def text_of(n):
        return "".join(c for c in n.children if isinstance(c, str)) if n is not None else ""

    seen_files = set()
    seen_objects = set()
    for ref in (c for c in signed_info.children if isinstance(c, _XNode) and c.local() == "Reference"):
        uri = ref.get("URI")
        if uri is None:
            fail("a Reference has no URI")
        dm = child(ref, "DigestMethod")
        alg = DIGEST_ALGS.get(dm.get("Algorithm") if dm is not None else None)
        if alg is None:
            fail("Reference %s: unsupported digest method" % uri)
        want = _b64(text_of(child(ref, "DigestValue")))
        if want is None:
            fail("Reference %s: DigestValue is not base64" % uri)
        if uri.startswith("#"):
            obj = objects_by_id.get(uri[1:])
            if obj is None:
                fail("Reference %s: no such Object" % uri)
            transforms = child(ref, "Transforms")
            exclusive = False
            if transforms is not None:
                for t in (c for c in transforms.children if isinstance(c, _XNode)):
                    a = t.get("Algorithm")
                    if a in C14N_EXCLUSIVE:
                        exclusive = True
                    elif a not in C14N_INCLUSIVE:
                        fail("Reference %s: unsupported transform %s" % (uri, a))
            if alg(canonicalize(obj, exclusive)).digest() != want:
                fail("digest of %s does not match" % uri)
            seen_objects.add(uri[1:])
            continue
        fname = percent_decode(uri)
        if fname is None:
            fail("Reference URI %r cannot be decoded" % uri)
        if uri != percent_encode(fname):
            fail("Reference URI %r is not percent-encoded like the signing tool writes it "
                 "(expected %r)" % (uri, percent_encode(fname)))
        if fname in seen_files:
            fail("%s is referenced twice" % fname)
        if fname not in files:
            fail("references %s, which is not in the package or may not be signed here" % fname)
        if alg(files[fname]).digest() != want:
            fail("digest of %s does not match" % fname)
        seen_files.add(fname)
    missing = sorted(set(files) - seen_files)
    if missing:
        fail("not signed: %s" % ", ".join(missing))
    unreferenced = sorted(set(objects_by_id) - seen_objects)
    if unreferenced:
        fail("Object not referenced: %s" % ", ".join(unreferenced))

    # signature properties: one SignatureProperties, profile, role, one identifier
    profile = role_uri = None
    identifiers = 0
    for o in objects:
        props = [c for c in o.children if isinstance(c, _XNode) and c.local() == "SignatureProperties"]
        if len(props) > 1:
            fail("more than one SignatureProperties in an Object")
        for n in o.iter():
            if n.ns() != DSP_NS:
                continue
            if n.local() == "Profile":
                profile = n.get("URI")
            elif n.local() == "Role":
                role_uri = n.get("URI")
            elif n.local() == "Identifier":
                identifiers += 1
        for n in o.iter():
            if n.local() == "SignatureProperty" and n.get("Target") != "#" + sig_id:
                fail("SignatureProperty Target %r does not name this signature (%r)"
                     % (n.get("Target"), sig_id))
    if profile != PROFILE_URI:
        fail("profile URI is %r" % profile)
    if role_uri != role:
        fail("role URI is %r, expected %r" % (role_uri, role))
    if identifiers != 1:
        fail("%d Identifier elements" % identifiers)

    cert_text = ""
    key_info = child(root, "KeyInfo")
    if key_info is not None:
        x509data = child(key_info, "X509Data")
        if x509data is not None:
            certs = [c for c in x509data.children if isinstance(c, _XNode) and c.local() == "X509Certificate"]
            if certs:
                cert_text = "".join(text_of(certs[0]).split())
    if _x509 is not None:
        _check_signature_value(name, root, signed_info, child, text_of, cert_text)
    return cert_text


def _check_signature_value(name, root, signed_info, child, text_of, cert_text):
    """RSA check of SignatureValue over the canonical SignedInfo with the leaf certificate."""
    def fail(why):
        raise PackageError(FAIL_CERT, "%s: %s" % (name, why))

    cm = child(signed_info, "CanonicalizationMethod")
    cm_alg = cm.get("Algorithm") if cm is not None else None
    if cm_alg in C14N_EXCLUSIVE:
        exclusive = True
    elif cm_alg in C14N_INCLUSIVE:
        exclusive = False
    else:
        fail("unsupported canonicalization %r" % cm_alg)
    sm = child(signed_info, "SignatureMethod")
    hash_cls = {"http://www.w3.org/2001/04/xmldsig-more#rsa-sha256": _hashes.SHA256,
                "http://www.w3.org/2001/04/xmldsig-more#rsa-sha512": _hashes.SHA512}.get(
        sm.get("Algorithm") if sm is not None else None)
    if hash_cls is None:
        fail("unsupported signature method")
    sig = _b64(text_of(child(root, "SignatureValue")))
    if not sig:
        fail("no SignatureValue")
    der = _b64(cert_text)
    if not der:
        fail("no X509Certificate in KeyInfo")
    try:
        cert = _x509.load_der_x509_certificate(der)
        cert.public_key().verify(sig, canonicalize(signed_info, exclusive),
                                 _padding.PKCS1v15(), hash_cls())
    except Exception as e:  # any failure here is a certificate error on the TV
        fail("SignatureValue does not verify with the certificate in KeyInfo (%s)"
             % (type(e).__name__ or "error"))


def check_package(data, app_id):
    """Check a pushed package as the TV does before installing it.

    Returns a dict describing the package (app_id, package, label, version, guid, author_cert,
    files) or raises PackageError with the TV's failure code and reason."""
    try:
        zf = zipfile.ZipFile(io.BytesIO(data))
        infos = zf.infolist()
    except (zipfile.BadZipFile, zipfile.LargeZipFile, OSError, ValueError) as e:
        raise PackageError(FAIL_ARCHIVE, "not a zip archive (%s)" % e)
    names = [i.filename for i in infos]
    if len(set(names)) != len(names):
        raise PackageError(FAIL_ARCHIVE, "duplicate entries in the archive")
    for n in names:
        if n.startswith("/") or "\\" in n or ".." in n.split("/") or "\0" in n:
            raise PackageError(FAIL_ARCHIVE, "unsafe entry name %r" % n)
    if sum(i.file_size for i in infos) > MAX_UNPACKED:
        raise PackageError(FAIL_ARCHIVE, "archive unpacks to more than %d bytes" % MAX_UNPACKED)
    files = {}
    dirs = set()
    for i in infos:
        if i.is_dir():
            dirs.add(i.filename)
            continue
        try:
            files[i.filename] = zf.read(i)
        except (zipfile.BadZipFile, zlib.error, NotImplementedError, RuntimeError, OSError) as e:
            raise PackageError(FAIL_ARCHIVE, "cannot read %s (%s)" % (i.filename, e))

    # manifest
    if "config.xml" not in files:
        raise PackageError(FAIL_ARCHIVE, "no config.xml")
    try:
        cfg = ET.fromstring(files["config.xml"])
    except ET.ParseError as e:
        raise PackageError(FAIL_ARCHIVE, "config.xml is not well-formed (%s)" % e)
    if cfg.tag != "{%s}widget" % W_NS:
        raise PackageError(FAIL_ARCHIVE, "config.xml root is %s, not widget" % cfg.tag)
    apps = cfg.findall("{%s}application" % TIZEN_NS)
    if len(apps) != 1:
        raise PackageError(FAIL_ARCHIVE, "config.xml has %d tizen:application elements" % len(apps))
    declared = apps[0].get("id") or ""
    package = apps[0].get("package") or ""
    if declared != app_id:
        raise PackageError(FAIL_ARCHIVE, "config.xml declares application id %r, install asked for %r"
                           % (declared, app_id))
    if not _APP_ID_RE.match(declared) or not _PKG_ID_RE.match(package) \
            or not declared.startswith(package + "."):
        raise PackageError(FAIL_ARCHIVE, "config.xml: application id %r / package %r malformed"
                           % (declared, package))
    if not apps[0].get("required_version"):
        raise PackageError(FAIL_ARCHIVE, "config.xml: tizen:application has no required_version")
    name_el = cfg.find("{%s}name" % W_NS)
    label = (name_el.text or "").strip() if name_el is not None else ""

    # entries: the directory entry is archive layout, files are certificate coverage
    expected_dirs = {n for n in EXPECTED_ENTRIES if n.endswith("/")}
    expected_files = {n for n in EXPECTED_ENTRIES if not n.endswith("/")}
    if dirs != expected_dirs:
        raise PackageError(FAIL_ARCHIVE, "directory entries %s, expected %s"
                           % (sorted(dirs), sorted(expected_dirs)))
    extra = sorted(set(files) - expected_files)
    missing = sorted(expected_files - set(files))
    if AUTHOR_SIG not in files:
        raise PackageError(FAIL_CERT, "no author-signature.xml")
    if DIST_SIG not in files:
        raise PackageError(FAIL_CERT, "no signature1.xml")
    if extra:
        raise PackageError(FAIL_CERT, "unsigned extra file(s): %s" % ", ".join(extra))
    if missing:
        raise PackageError(FAIL_CERT, "file(s) missing from the package: %s" % ", ".join(missing))

    content = {n: b for n, b in files.items() if n != AUTHOR_SIG and not _DIST_SIG_RE.match(n)}
    author_cert = check_signature_file(AUTHOR_SIG, files[AUTHOR_SIG], content, ROLE_AUTHOR)
    dist_files = dict(content)
    dist_files[AUTHOR_SIG] = files[AUTHOR_SIG]
    check_signature_file(DIST_SIG, files[DIST_SIG], dist_files, ROLE_DISTRIBUTOR)

    return {
        "app_id": declared,
        "package": package,
        "label": label,
        "version": cfg.get("version") or "",
        "guid": cfg.get("id") or "",
        "author_cert": hashlib.sha256(author_cert.encode("ascii", "replace")).hexdigest(),
        "files": files,
    }


# ---------------------------------------------------------------------------------------------
# TV file system under --root

class TvFs:
    """Maps TV paths onto a folder; nothing outside that folder is ever touched."""

    def __init__(self, root, generation):
        self.root = os.path.abspath(root)
        self.gen = generation
        os.makedirs(self.root, exist_ok=True)
        for d in generation["initial_dirs"]:
            os.makedirs(self.host_path(d), exist_ok=True)

    @staticmethod
    def normalize(tv_path):
        """Absolute, normalized TV path; relative paths are taken from '/', the daemon's cwd."""
        if "\0" in tv_path:
            raise OSError(errno.EINVAL, os.strerror(errno.EINVAL))
        return posixpath.normpath("/" + tv_path.lstrip("/"))

    def host_path(self, tv_path):
        p = self.normalize(tv_path)
        host = os.path.normpath(os.path.join(self.root, p.lstrip("/")))
        if host != self.root and not host.startswith(self.root + os.sep):
            raise OSError(errno.EACCES, os.strerror(errno.EACCES))
        return host

    def writable(self, tv_path):
        p = self.normalize(tv_path)
        return any(p == w or p.startswith(w + "/") for w in self.gen["writable"])

    def require_writable(self, tv_path):
        if not self.writable(tv_path):
            raise OSError(errno.EACCES, os.strerror(errno.EACCES))

    def stat(self, tv_path):
        try:
            st = os.stat(self.host_path(tv_path))
        except OSError:
            return 0, 0, 0
        return st.st_mode & 0xFFFFFFFF, st.st_size & 0xFFFFFFFF, int(st.st_mtime) & 0xFFFFFFFF

    def makedirs(self, tv_path):
        """mkdir -p inside the writable area."""
        p = self.normalize(tv_path)
        host = self.host_path(p)
        if os.path.isdir(host):
            return
        self.require_writable(p)
        os.makedirs(host, exist_ok=True)

    def read(self, tv_path):
        with open(self.host_path(tv_path), "rb") as f:
            return f.read()


# ---------------------------------------------------------------------------------------------
# Journal

class Journal:
    def __init__(self, path):
        self.path = path
        self.events = []
        self.lock = threading.Lock()
        self.t0 = time.monotonic()
        self.file = open(path, "w", encoding="utf-8") if path else None

    def write(self, event, **fields):
        rec = {"t": round(time.monotonic() - self.t0, 3), "event": event}
        rec.update(fields)
        with self.lock:
            self.events.append(rec)
            if self.file:
                self.file.write(json.dumps(rec, sort_keys=False) + "\n")
                self.file.flush()
        return rec

    def close(self):
        with self.lock:
            if self.file:
                self.file.close()
                self.file = None


def read_journal(path):
    """The events of a journal file, as dicts."""
    with open(path, encoding="utf-8") as f:
        return [json.loads(line) for line in f if line.strip()]


# ---------------------------------------------------------------------------------------------
# Streams

class _Stream:
    def __init__(self, conn, dev_id, host_id, service):
        self.conn = conn
        self.dev_id = dev_id
        self.host_id = host_id
        self.service = service
        self.outbox = collections.deque()
        self.awaiting_okay = False
        self.acks_pending = 0
        self.closing = False
        self.closed = False

    # hooks
    def start(self):
        pass

    def on_data(self, data):
        pass

    def abort(self, reason):
        pass

    # output helpers
    def write(self, data):
        limit = self.conn.out_max()
        for i in range(0, len(data), limit):
            self.outbox.append(data[i:i + limit])
        self.conn.pump(self)

    def finish(self):
        self.closing = True
        self.conn.pump(self)


class _CapabilityStream(_Stream):
    def start(self):
        text = self.conn.sim.gen["caps"].encode("ascii") + b"\0"
        length = struct.pack("<H", len(text))
        writes = self.conn.sim.capability_form()
        self.conn.sim.journal.write("capability", conn=self.conn.cid, writes=writes)
        if writes == 2:
            self.write(length)
            self.write(text)
        else:
            self.write(length + text)
        self.finish()


class _ShellStream(_Stream):
    """Runs one `0 <verb>` command: output lines (one WRTE each), then CLSE."""

    def __init__(self, conn, dev_id, host_id, service, command):
        super().__init__(conn, dev_id, host_id, service)
        self.command = command
        self.stdin_bytes = 0

    def start(self):
        sim = self.conn.sim
        steps = sim.run_shell(self.conn, self.command)   # [(delay, line or None)]
        eol = b"\r\n" if sim.crlf else b"\n"
        for delay, line in steps:
            if line is None:
                continue
            data = line.encode("utf-8") + eol
            self.conn.later(delay, lambda d=data: None if self.closed else self.write(d))
        if sim.stalls_shell(self.command[0]):
            # its lines so far, then silence: the stream stays open
            sim.journal.write("stall", conn=self.conn.cid, reason="scenario stall-install: nothing "
                              "more after the install started")
            return
        self.conn.later(0, lambda: None if self.closed else self.finish())

    def on_data(self, data):
        self.stdin_bytes += len(data)


class _SyncStream(_Stream):
    """The file-push sub-protocol (STAT, SEND/DATA/DONE, QUIT) into the TV file system.

    Like the daemon, every DATA is taken as it comes and the file's fate is told only at DONE:
    a push that cannot be written (no rights, no space, a directory in the way) gets its FAIL
    after all the data, and the stream is then closed without an answer to DONE."""

    def __init__(self, conn, dev_id, host_id, service):
        super().__init__(conn, dev_id, host_id, service)
        self.buf = bytearray()
        self.state = "req"          # req, send, data, drain, ended
        self.remaining = 0
        self.file = None
        self.tv_path = None
        self.host_path = None
        self.mode = 0
        self.size = 0
        self.sha = None
        self.failed = None

    def reply(self, data):
        self.conn.later(self.conn.sim.delay, lambda: None if self.closed else self.write(data))

    def fail(self, text):
        msg = text.encode("utf-8")
        self.reply(struct.pack("<II", ID_FAIL, len(msg)) + msg)

    def end(self):
        self.state = "ended"
        self.conn.later(0, lambda: None if self.closed else self.finish())

    def _discard_file(self):
        if self.file is not None:
            try:
                self.file.close()
            except OSError:
                pass
            self.file = None
        if self.host_path:
            try:
                os.unlink(self.host_path)
            except OSError:
                pass

    def _push_result(self, status, **extra):
        self.conn.sim.journal.write("push", conn=self.conn.cid, path=self.tv_path, size=self.size,
                                    sha256=self.sha.hexdigest() if self.sha else None,
                                    mode=self.mode, status=status, **extra)

    def abort(self, reason):
        if self.state in ("send", "data", "drain") and self.tv_path is not None:
            with self.conn.sim.lock:
                self._discard_file()
            self._push_result("dropped" if self.failed is None else "failed",
                              reason=self.failed or reason)
        self.state = "ended"

    def on_data(self, data):
        if self.state == "ended" or self.conn.stalled:
            return
        self.buf += data
        while self.state != "ended":
            if self.state == "data":
                if not self.buf:
                    return
                if self.conn.sim.scenario == "drop-push":
                    self.conn.drop("scenario drop-push: connection dropped in the middle of DATA",
                                   violation=False)
                    return
                if self.conn.sim.scenario == "stall-push":
                    self.conn.stall("scenario stall-push: file data no longer acknowledged")
                    self.buf.clear()
                    return
                take = bytes(self.buf[:self.remaining])
                del self.buf[:len(take)]
                self.remaining -= len(take)
                self._write_file(take)
                if self.remaining == 0:
                    self.state = "send" if self.failed is None else "drain"
                continue
            if len(self.buf) < 8:
                return
            ident, arg = struct.unpack_from("<II", self.buf)
            if self.state == "req":
                if ident in (ID_STAT, ID_SEND):
                    if arg > SYNC_NAME_MAX:
                        del self.buf[:8]
                        self.fail("invalid namelen")
                        self.end()
                        return
                    if len(self.buf) < 8 + arg:
                        return
                    name = bytes(self.buf[8:8 + arg]).decode("utf-8", "replace")
                    del self.buf[:8 + arg]
                    if ident == ID_STAT:
                        self._stat(name)
                    else:
                        self._send(name)
                    continue
                del self.buf[:8]
                if ident == ID_QUIT:
                    self.end()
                    return
                self.conn.sim.journal.write("sync", conn=self.conn.cid, request="%08x" % ident,
                                            result="unknown command")
                self.fail("unknown command")
                self.end()
                return
            # send / drain: DATA or DONE
            del self.buf[:8]
            if ident == ID_DATA:
                if arg > SYNC_DATA_MAX:
                    # a protocol fault is told at once (no FAIL has been sent before DONE)
                    self.failed = self.failed or "oversize data message"
                    self.fail("oversize data message")
                    with self.conn.sim.lock:
                        self._discard_file()
                    self._push_result("failed", reason="oversize data message (%d bytes)" % arg)
                    self.end()
                    return
                self.remaining = arg
                self.state = "data" if arg else self.state
                continue
            if ident == ID_DONE:
                self._done(arg)
                continue
            self.fail("invalid data message")
            with self.conn.sim.lock:
                self._discard_file()
            self._push_result("failed", reason="invalid data message (%08x)" % ident)
            self.end()
            return

    def _stat(self, name):
        with self.conn.sim.lock:
            mode, size, mtime = self.conn.sim.fs.stat(name)
        self.conn.sim.journal.write("sync", conn=self.conn.cid, request="STAT", path=name,
                                    mode=mode, size=size)
        self.reply(struct.pack("<IIII", ID_STAT, mode, size, mtime))

    def _send(self, target):
        path, comma, mode_text = target.rpartition(",")
        if not comma:
            path, mode_text = target, ""
        self.tv_path = path
        self.mode = _parse_mode(mode_text)
        self.size = 0
        self.sha = hashlib.sha256()
        self.failed = None
        self.state = "send"
        sim = self.conn.sim
        with sim.lock:
            try:
                norm = sim.fs.normalize(path)
                self.tv_path = norm
                sim.fs.require_writable(norm)
                self.host_path = sim.fs.host_path(norm)
                if os.path.lexists(self.host_path) and not os.path.isdir(self.host_path):
                    os.unlink(self.host_path)
                sim.fs.makedirs(posixpath.dirname(norm))
                self.file = open(self.host_path, "wb")
            except OSError as e:
                self.host_path = None
                self._failed_write(e)
                self.state = "drain"

    def _failed_write(self, e):
        # said at DONE (see the class)
        self.failed = os.strerror(e.errno) if e.errno else str(e)

    def _write_file(self, data):
        self.size += len(data)
        self.sha.update(data)
        if self.failed is not None:
            return
        sim = self.conn.sim
        with sim.lock:
            try:
                if sim.scenario == "no-space":
                    raise OSError(errno.ENOSPC, os.strerror(errno.ENOSPC))
                self.file.write(data)
            except OSError as e:
                self._discard_file()
                self._failed_write(e)

    def _done(self, mtime):
        sim = self.conn.sim
        if self.failed is not None:
            self._push_result("failed", reason=self.failed)
            self.fail(self.failed)
            self.end()
            return
        with sim.lock:
            try:
                self.file.close()
                self.file = None
                os.utime(self.host_path, (mtime, mtime))
            except OSError as e:
                self._discard_file()
                self._push_result("failed", reason=str(e))
                self.fail(os.strerror(e.errno) if e.errno else str(e))
                self.end()
                return
        self._push_result("ok", mtime=mtime)
        self.state = "req"
        self.tv_path = None
        self.host_path = None
        self.reply(struct.pack("<II", ID_OKAY, 0))


def _parse_mode(text):
    """strtoul(text, 0) as the daemon reads the mode: 0x.. hex, 0.. octal, else decimal."""
    t = text.strip()
    try:
        if t.lower().startswith("0x"):
            return int(t, 16)
        if t.startswith("0") and len(t) > 1:
            return int(t, 8)
        return int(t) if t else 0o644
    except ValueError:
        return 0


# ---------------------------------------------------------------------------------------------
# One TCP connection (one transport)

class _Conn:
    def __init__(self, sim, sock, peer, cid):
        self.sim = sim
        self.sock = sock
        self.peer = peer
        self.cid = cid
        self.inbuf = bytearray()
        self.online = False
        self.host_max = 4096
        self.streams = {}
        self.closed_ids = set()
        self.timers = []
        self.seq = 0
        self.last_due = 0.0
        self.alive = True
        self.stalled = False     # answers nothing more, but keeps the connection open
        self.close_reason = None
        self.open_at_close = []

    # timers: later() keeps answers in the order they were asked for, each `delay` after the
    # previous one; after() is for transport acknowledgements, which are not queued behind them
    def later(self, delay, fn):
        due = max(time.monotonic(), self.last_due) + delay
        self.last_due = due
        self._add_timer(due, fn)

    def after(self, delay, fn):
        self._add_timer(time.monotonic() + delay, fn)

    def _add_timer(self, due, fn):
        self.seq += 1
        heapq.heappush(self.timers, (due, self.seq, fn))

    def out_max(self):
        return max(1, min(self.sim.max_payload, self.host_max))

    def send(self, command, arg0, arg1, data=b""):
        if not self.alive or self.stalled:
            return
        try:
            self.sock.sendall(pack_message(command, arg0, arg1, data))
        except OSError as e:
            self.close("send failed: %s" % e)

    def violation(self, what, **fields):
        self.sim.journal.write("violation", conn=self.cid, what=what, **fields)

    def stall(self, reason):
        """From now on this connection takes what comes and answers nothing, as a TV whose
        daemon hangs: no OKAY, no data, no CLSE; the host's own limit has to end it."""
        if not self.stalled:
            self.stalled = True
            self.sim.journal.write("stall", conn=self.cid, reason=reason)

    def drop(self, reason, violation=True, **fields):
        if violation:
            self.violation(reason, **fields)
        self.sim.journal.write("drop", conn=self.cid, reason=reason)
        self.close(reason)

    def close(self, reason):
        if not self.alive:
            return
        self.alive = False
        self.close_reason = reason
        self.open_at_close = [{"service": st.service, "awaiting_okay": st.awaiting_okay,
                               "queued": len(st.outbox)} for st in self.streams.values()]
        for s in list(self.streams.values()):
            s.closed = True
            s.abort(reason)
        self.streams.clear()
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()

    def run(self):
        try:
            while self.alive:
                if self.sim._stopping.is_set():
                    self.close("simulator stopped")
                    break
                now = time.monotonic()
                while self.timers and self.timers[0][0] <= now and self.alive:
                    _, _, fn = heapq.heappop(self.timers)
                    fn()
                if not self.alive:
                    break
                timeout = 0.1
                if self.timers:
                    timeout = max(0.0, min(timeout, self.timers[0][0] - time.monotonic()))
                try:
                    ready, _, _ = select.select([self.sock], [], [], timeout)
                except (OSError, ValueError):
                    self.close("socket error")
                    break
                if not ready:
                    continue
                try:
                    data = self.sock.recv(262144)
                except OSError as e:
                    self.close("receive failed: %s" % e)
                    break
                if not data:
                    self.close("host closed the connection")
                    break
                self.inbuf += data
                self._parse()
        except Exception as e:  # keep the simulator alive; the journal says what broke
            self.sim.journal.write("internal-error", conn=self.cid, error="%s: %s" % (type(e).__name__, e))
            self.close("internal error")
        finally:
            self.sim.journal.write("closed", conn=self.cid, reason=self.close_reason,
                                   open_streams=self.open_at_close)

    def _parse(self):
        while self.alive and len(self.inbuf) >= HEADER.size:
            command, arg0, arg1, length, check, magic = HEADER.unpack_from(self.inbuf)
            name = COMMAND_NAMES.get(command, "%08x" % command)
            if magic != command ^ 0xFFFFFFFF:
                self.drop("bad magic", command=name, magic="%08x" % magic)
                return
            if length > self.sim.max_payload:
                self.drop("payload larger than the TV's maximum", command=name, length=length,
                          max_payload=self.sim.max_payload)
                return
            if len(self.inbuf) < HEADER.size + length:
                return
            data = bytes(self.inbuf[HEADER.size:HEADER.size + length])
            del self.inbuf[:HEADER.size + length]
            if sum(data) & 0xFFFFFFFF != check:
                self.drop("bad checksum", command=name, check=check,
                          actual=sum(data) & 0xFFFFFFFF)
                return
            self._handle(command, arg0, arg1, data)

    def _handle(self, command, arg0, arg1, data):
        if command == A_CNXN:
            self._on_cnxn(arg0, arg1, data)
        elif command == A_OPEN:
            self._on_open(arg0, arg1, data)
        elif command == A_OKAY:
            self._on_okay(arg0, arg1)
        elif command == A_WRTE:
            self._on_wrte(arg0, arg1, data)
        elif command == A_CLSE:
            self._on_clse(arg0, arg1)
        else:
            # the daemon logs and ignores commands it does not know
            self.violation("unexpected command", command=COMMAND_NAMES.get(command, "%08x" % command))

    def _on_cnxn(self, version, maxdata, data):
        banner = data.split(b"\0", 1)[0].decode("utf-8", "replace")
        self.sim.journal.write("cnxn", conn=self.cid, version="0x%08x" % version, maxdata=maxdata,
                               banner=banner, nul_terminated=data.endswith(b"\0"))
        if maxdata == 0:
            self.violation("CNXN announces a maximum payload of 0")
        else:
            self.host_max = maxdata
        if self.sim.scenario == "stall-connect":
            self.stall("scenario stall-connect: the handshake is never answered")
            return
        if self.online:
            # a second CNXN resets the transport
            for s in list(self.streams.values()):
                s.closed = True
                s.abort("transport reset")
            self.streams.clear()
            self.online = False
        # answered at once, also by a slow TV: the daemon itself is never slow to say hello
        reply = ("device::%s::0" % self.sim.model).encode("utf-8") + b"\0"
        self.send(A_CNXN, TV_VERSION, self.sim.max_payload, reply)
        self.online = True

    def _on_open(self, host_id, arg1, data):
        if not self.online:
            self.violation("OPEN before the TV's CNXN", host_id=host_id)
            return
        if not data:
            self.violation("OPEN without a service name", host_id=host_id)
            self.later(self.sim.delay, lambda: self.send(A_CLSE, 0, host_id))
            return
        if data[-1] != 0:
            # the daemon overwrites the last byte with NUL, so the name loses its last character
            self.violation("service name not NUL-terminated", host_id=host_id,
                           service=data.decode("utf-8", "replace"))
        service = data[:-1].split(b"\0", 1)[0].decode("utf-8", "replace")
        if host_id == 0:
            self.violation("OPEN with local id 0", service=service)
        if arg1 != 0:
            self.violation("OPEN with arg1 %d (must be 0)" % arg1, service=service)
        if any(s.host_id == host_id for s in self.streams.values()):
            self.violation("OPEN reuses a local id of a stream still open", host_id=host_id)
        stream = self.sim.make_stream(self, host_id, service) if host_id else None
        self.sim.journal.write("open", conn=self.cid, service=service, host_id=host_id,
                               accepted=stream is not None,
                               dev_id=stream.dev_id if stream else None)
        if stream is None:
            self.later(self.sim.delay, lambda: self.send(A_CLSE, 0, host_id))
            return
        self.streams[stream.dev_id] = stream

        def accept():
            if stream.closed:
                return
            self.send(A_OKAY, stream.dev_id, host_id)
            stream.start()
        self.later(self.sim.delay, accept)

    def _stream_for(self, kind, host_id, dev_id):
        s = self.streams.get(dev_id)
        if s is None:
            if dev_id not in self.closed_ids:
                self.violation("%s for unknown stream" % kind, host_id=host_id, dev_id=dev_id)
            return None
        if s.host_id != host_id:
            self.violation("%s with wrong local id" % kind, host_id=host_id, expected=s.host_id,
                           dev_id=dev_id)
        return s

    def _on_okay(self, host_id, dev_id):
        s = self._stream_for("OKAY", host_id, dev_id)
        if s is None:
            return
        if not s.awaiting_okay:
            self.violation("OKAY without an outstanding WRTE", dev_id=dev_id, service=s.service)
            return
        s.awaiting_okay = False
        self.pump(s)

    def _on_wrte(self, host_id, dev_id, data):
        s = self._stream_for("WRTE", host_id, dev_id)
        if s is None:
            return
        if s.acks_pending:
            self.violation("second WRTE before the TV's OKAY", dev_id=dev_id, service=s.service)
        s.acks_pending += 1
        self.after(ACK_DELAY, lambda: self._ack(s))
        s.on_data(data)

    def _ack(self, s):
        if s.acks_pending and not s.closed:
            s.acks_pending -= 1
            self.send(A_OKAY, s.dev_id, s.host_id)
            self.pump(s)

    def _on_clse(self, host_id, dev_id):
        s = self.streams.pop(dev_id, None)
        if s is None:
            return  # the daemon ignores a CLSE for a stream it already closed or refused
        s.closed = True
        self.closed_ids.add(dev_id)
        self.sim.journal.write("stream-closed", conn=self.cid, by="host", service=s.service)
        s.abort("host closed the stream")
        self.send(A_CLSE, 0, s.host_id)  # the daemon's echo, with local id 0 as all its CLSEs

    def pump(self, s):
        """Send the next WRTE once the host acknowledged the previous one; CLSE at the end."""
        if s.closed or not self.alive or s.awaiting_okay:
            return
        if s.outbox:
            self.send(A_WRTE, s.dev_id, s.host_id, s.outbox.popleft())
            s.awaiting_okay = True
        elif s.closing and not s.acks_pending:
            s.closed = True
            self.streams.pop(s.dev_id, None)
            self.closed_ids.add(s.dev_id)
            self.send(A_CLSE, 0, s.host_id)  # the daemon's CLSE carries local id 0


# ---------------------------------------------------------------------------------------------
# The simulator

def listen_address(text):
    """`text` as an IPv4 address of 127.0.0.0/8, or of a private range where this process runs on
    the LAN of tools/netns-run.sh --lan (a namespace with no route out); else ValueError: the TV
    never listens where anything but this machine could reach it."""
    try:
        address = ipaddress.IPv4Address(text)
    except ValueError:
        raise ValueError("%r is not an IPv4 address" % (text,)) from None
    if address.is_loopback:
        return str(address)
    why = list(check_netns.lan_problems()) if address.is_private else ["not a private address"]
    if why:
        raise ValueError("the TV simulator listens on loopback (127.0.0.0/8), or on a private address "
                         "on the LAN of tools/netns-run.sh --lan, not on %s: %s" % (address, "; ".join(why)))
    return str(address)


class TvSim:
    """The TV. start() listens on address:port (any address of 127.0.0.0/8, or of the LAN of
    tools/netns-run.sh --lan, where it also answers SSDP unless `ssdp` is false; port 0 picks a
    free port; see .port)."""

    def __init__(self, port=0, scenario="success", root=None, journal=None, max_payload=4096,
                 crlf=True, delay=2.0, model=DEFAULT_MODEL, tizen="4.0", wrong_host=False,
                 address="127.0.0.1", capability_writes="alternate", pc_address="127.0.0.1",
                 rest_port=0, rest_delay=rest.DEFAULT_DELAY, ssdp=True):
        self.address = listen_address(address)
        if capability_writes not in CAPABILITY_WRITES:
            raise ValueError("capability writes must be one of %s" % ", ".join(CAPABILITY_WRITES))
        if scenario not in SCENARIOS:
            raise ValueError("unknown scenario %r" % scenario)
        if max_payload not in (4096, 262144):
            raise ValueError("max payload must be 4096 or 262144")
        if root is None:
            raise ValueError("root folder required")
        self.requested_port = port
        self.port = None
        self.scenario = scenario
        self.max_payload = max_payload
        # a TV's shell runs on a terminal: CRLF, unless LF is asked for (older recordings)
        self.crlf = scenario != "lf" and (crlf or scenario == "crlf")
        self.capability_writes = capability_writes
        self._capability_answers = 0
        self.delay = float(delay) if scenario == "slow" else 0.0
        self.model = model
        self.gen = GENERATIONS[tizen]
        self.tizen = tizen
        self.wrong_host = wrong_host or scenario == "wrong-host" or rest.closes_device_port(scenario)
        self.rest = rest.RestService(scenario, None, pc_address, rest_port, rest_delay)
        # A TV on a LAN answers SSDP (loopback has no multicast); another device only listens.
        self.ssdp = None
        if ssdp and not ipaddress.IPv4Address(self.address).is_loopback:
            self.ssdp = ssdp_answers.SsdpResponder(self.address, None, answers=scenario != "not-a-tv")
        self.lock = threading.RLock()
        self.fs = TvFs(root, self.gen)
        self.journal = Journal(journal)
        self.rest.journal = self.journal
        if self.ssdp:
            self.ssdp.journal = self.journal
        self._registry_path = os.path.join(self.fs.root, ".tvsim", "apps.json")
        self.apps = self._load_registry()
        self._listener = None
        self._thread = None
        self._conns = []
        self._stopping = threading.Event()
        self._next_cid = 0
        self._next_dev_id = 0x100

    # -- life cycle
    def start(self):
        ls = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        ls.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        ls.bind((self.address, self.requested_port))
        if not rest.refuses_device_port(self.scenario):  # else bound, not listening: refused
            ls.listen(16)
        ls.settimeout(0.1)
        self._listener = ls
        self.port = ls.getsockname()[1]
        self.journal.write("listening", address=self.address, port=self.port, scenario=self.scenario,
                           max_payload=self.max_payload, crlf=self.crlf, delay=self.delay,
                           model=self.model, tizen=self.tizen, rsa_check=_x509 is not None,
                           capability_writes=self.capability_writes)
        self._thread = threading.Thread(target=self._accept_loop, name="tvsim-accept", daemon=True)
        self._thread.start()
        self.rest.start(ls.getsockname()[0])
        if self.ssdp:
            self.ssdp.start()
        return self

    def stop(self):
        self._stopping.set()
        if self._thread:
            self._thread.join(5)
        for t in list(self._conns):
            t.join(5)
        if self._listener:
            self._listener.close()
            self._listener = None
        self.rest.stop()
        if self.ssdp:
            self.ssdp.stop()
        self.journal.write("stopped")
        self.journal.close()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def _accept_loop(self):
        while not self._stopping.is_set():
            try:
                sock, addr = self._listener.accept()
            except socket.timeout:
                continue
            except OSError:
                break
            self._next_cid += 1
            cid = self._next_cid
            peer = "%s:%d" % addr
            self.journal.write("accepted", conn=cid, peer=peer)
            if self.wrong_host:
                # like a TV whose "Host PC IP" names another computer: closed before any byte
                self.journal.write("closed", conn=cid, reason="peer address not allowed (wrong-host)")
                try:
                    sock.close()
                except OSError:
                    pass
                continue
            sock.setblocking(True)
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            conn = _Conn(self, sock, peer, cid)
            t = threading.Thread(target=conn.run, name="tvsim-conn-%d" % cid, daemon=True)
            self._conns = [c for c in self._conns if c.is_alive()] + [t]
            t.start()

    # -- what tests look at
    def events(self, kind=None):
        with self.journal.lock:
            evs = list(self.journal.events)
        return [e for e in evs if kind is None or e["event"] == kind]

    def violations(self):
        return self.events("violation")

    def tv_file(self, tv_path):
        """Bytes of a file on the TV, or None."""
        try:
            return self.fs.read(tv_path)
        except OSError:
            return None

    def tv_exists(self, tv_path):
        return os.path.exists(self.fs.host_path(tv_path))

    def installed(self):
        with self.lock:
            return {k: dict(v) for k, v in self.apps.items()}

    # -- services
    def capability_form(self):
        """1 or 2: how many WRTEs carry the next capability answer."""
        with self.lock:
            self._capability_answers += 1
            n = self._capability_answers
        if self.capability_writes == "alternate":
            return 2 if n % 2 == 0 else 1
        return 2 if self.capability_writes == "two" else 1

    def make_stream(self, conn, host_id, service):
        with self.lock:
            self._next_dev_id += 1
            dev_id = self._next_dev_id
        if service == "capability:":
            return _CapabilityStream(conn, dev_id, host_id, service)
        if service == "sync:":
            return _SyncStream(conn, dev_id, host_id, service)
        if service.startswith("shell:"):
            command = parse_shell_command(service[len("shell:"):])
            if command is None:
                return None
            return _ShellStream(conn, dev_id, host_id, service, command)
        return None

    def run_shell(self, conn, command):
        """Carry out a `0 <verb>` command; returns [(delay before the line, line)]."""
        verb, args, suffix = command
        handler = getattr(self, "_cmd_" + verb)
        steps = handler(args, conn.cid)
        if suffix and not self.stalls_shell(verb):
            steps.append((0, "cmd_ret:0"))
        self.journal.write("shell", conn=conn.cid, verb=verb, args=args, suffix=suffix,
                           output=[line for _, line in steps])
        return steps

    def stalls_shell(self, verb):
        """Whether this shell command prints its first lines and then nothing more, ever."""
        return self.scenario == "stall-install" and verb == "vd_appinstall"

    def _cmd_getappinstallpath(self, args, cid):
        return [(0, "Tizen Application Installation Path: %s" % self.gen["install_path"])]

    def _cmd_mkdir(self, args, cid):
        out = []
        for d in args:
            with self.lock:
                try:
                    self.fs.makedirs(d)
                    self.journal.write("mkdir", conn=cid, path=self.fs.normalize(d), ok=True)
                except OSError as e:
                    self.journal.write("mkdir", conn=cid, path=d, ok=False, error=os.strerror(e.errno))
                    out.append((0, "mkdir: cannot create directory '%s': %s"
                                % (d, os.strerror(e.errno))))
        return out

    def _cmd_rmfile(self, args, cid):
        with self.lock:
            targets = []
            if args:
                targets = [self.fs.normalize(a) for a in args]
            else:
                # without an argument the TV cleans the packages out of its staging folder
                for w in self.gen["writable"]:
                    stage = posixpath.join(w, "tmp/sdk_tools/tmp") if w == "/home/owner/share" else w
                    try:
                        names = os.listdir(self.fs.host_path(stage))
                    except OSError:
                        continue
                    targets += [posixpath.join(stage, n) for n in names if n.endswith((".wgt", ".tpk"))]
            for p in targets:
                if not self.fs.writable(p):
                    self.journal.write("rmfile", conn=cid, path=p, removed=False, why="outside the writable area")
                    continue
                removed = False
                try:
                    host = self.fs.host_path(p)
                    if os.path.isfile(host):
                        os.unlink(host)
                        removed = True
                except OSError:
                    pass
                self.journal.write("rmfile", conn=cid, path=p, removed=removed)
        return []

    def _cmd_applist(self, args, cid):
        with self.lock:
            apps = list(PREINSTALLED) + [self.apps[k] for k in sorted(self.apps)]
        if self.tizen == "2.4":
            fmt = "%3s %32s %16s %64s %16s %24s"
            lines = [fmt % ("No", "Name", "Version", "GUID", "Package ID", "App ID"),
                     fmt % ("--", "--", "----", "-------", "-----", "-----")]
            for i, a in enumerate(apps, 1):
                lines.append(fmt % (i, a["label"] or "[NULL]", a["version"], a["guid"],
                                    a["package"], a["app_id"]))
            lines.append(" ")
            return [(0, line) for line in lines]
        lines = ["\tApplication List for user 5001", "\tUser's Application ", "\t Name \t AppID ",
                 "\t================================================="]
        for a in apps:
            lines.append("\t'%s'\t '%s'" % (a["label"], a["app_id"]))
        lines.append("\t=================================================")
        return [(0, line) for line in lines]

    def _cmd_vd_appuninstall(self, args, cid):
        app_id = args[0] if args else ""
        t0 = time.monotonic()
        steps = [(0, "uninstall %s" % app_id), (0, "app_id[%s] uninstall start" % app_id)]
        with self.lock:
            app = self.apps.pop(app_id, None)
            if app is not None:
                self._remove_app_files(app)
                self._save_registry()
        step = self.delay / len(UNINSTALL_PROGRESS)   # progress spread over one answer delay
        if app is None:
            steps.append((step, "app_id[%s] uninstall failed[132]" % app_id))
            self.journal.write("uninstall", conn=cid, app_id=app_id, ok=False, code=132)
        else:
            for n in UNINSTALL_PROGRESS:
                steps.append((step, "app_id[%s] uninstalling[%d]" % (app_id, n)))
            steps.append((0, "app_id[%s] uninstall completed" % app_id))
            self.journal.write("uninstall", conn=cid, app_id=app_id, ok=True)
        elapsed = time.monotonic() - t0 + sum(d for d, _ in steps)
        steps.append((0, "spend time for wascmd is [%d]ms" % max(1, int(elapsed * 1000))))
        return steps

    def _cmd_vd_appinstall(self, args, cid):
        app_id = args[0] if args else ""
        path = args[1] if len(args) > 1 else ""
        t0 = time.monotonic()
        step = self.delay / len(INSTALL_PROGRESS)     # progress spread over one answer delay
        steps = [(0, "install %s" % app_id), (0, "package_path %s" % path),
                 (0, "was_install_app return WAS_TRUE"), (0, "app_id[%s] install start" % app_id)]
        verdict = {"app_id": app_id, "path": path}
        if self.stalls_shell("vd_appinstall"):
            # the TV's installer hangs after it started: nothing installed, nothing more said
            with self.lock:
                try:
                    data = self.fs.read(path)
                    verdict.update(size=len(data), sha256=hashlib.sha256(data).hexdigest())
                except OSError:
                    verdict.update(size=None, sha256=None)
            self.journal.write("install", conn=cid, ok=False, code=None, reason="stalled", **verdict)
            return steps
        try:
            if len(args) != 2:
                raise PackageError(FAIL_ARCHIVE, "expected <appId> <path>, got %d argument(s)" % len(args))
            with self.lock:
                try:
                    data = self.fs.read(path)
                except OSError as e:
                    raise PackageError(FAIL_ARCHIVE, "cannot read %s on the TV (%s)"
                                       % (path, os.strerror(e.errno) if e.errno else e))
            verdict["size"] = len(data)
            verdict["sha256"] = hashlib.sha256(data).hexdigest()
            info = check_package(data, app_id)
            if self.scenario == "install-cert-fail":
                raise PackageError(FAIL_CERT, "scenario install-cert-fail")
            with self.lock:
                old = self.apps.get(app_id)
                if old is not None and old.get("author_cert") != info["author_cert"]:
                    raise PackageError(FAIL_AUTHOR_MISMATCH,
                                       "an installed copy was signed by another author certificate")
                self._install_files(info)
                rec = {k: info[k] for k in ("app_id", "package", "label", "version", "guid", "author_cert")}
                rec["installed_from"] = path
                self.apps[app_id] = rec
                self._save_registry()
        except PackageError as e:
            code = e.code
            if code == FAIL_CERT[0]:
                steps.append((step, "app_id[%s] installing[%d]" % (app_id, INSTALL_PROGRESS[0])))
                line = "app_id[%s] install failed[118, %d], reason: %s" % (app_id, code, e.reason)
            elif code == FAIL_AUTHOR_MISMATCH[0]:
                line = "app_id[%s] install failed[118, %d], reason: %s" % (app_id, code, e.reason)
            else:
                line = "app_id[%s] install failed[118, %d] %s" % (app_id, code, e.reason)
            steps.append((step, line))
            verdict.update(ok=False, code=code, reason=e.reason, detail=e.detail)
        else:
            for n in INSTALL_PROGRESS:
                steps.append((step, "app_id[%s] installing[%d]" % (app_id, n)))
            steps.append((0, "app_id[%s] install completed" % app_id))
            verdict.update(ok=True)
        self.journal.write("install", conn=cid, **verdict)
        elapsed = time.monotonic() - t0 + sum(d for d, _ in steps)
        steps.append((0, "spend time for wascmd is [%d]ms" % max(1, int(elapsed * 1000))))
        return steps

    # -- installed applications (kept under --root so they outlive one connection)
    def _app_dir(self, package):
        return self.fs.host_path(posixpath.join(self.gen["install_path"], package))

    def _install_files(self, info):
        base = self._app_dir(info["package"])
        if os.path.isdir(base):
            shutil.rmtree(base)
        for name, data in info["files"].items():
            # names were checked against the fixed list of entries
            dest = os.path.join(base, "res", "wgt", *name.split("/"))
            os.makedirs(os.path.dirname(dest), exist_ok=True)
            with open(dest, "wb") as f:
                f.write(data)

    def _remove_app_files(self, app):
        if _PKG_ID_RE.match(app.get("package", "")):
            shutil.rmtree(self._app_dir(app["package"]), ignore_errors=True)

    def _load_registry(self):
        try:
            with open(self._registry_path, encoding="utf-8") as f:
                apps = json.load(f)
            return {k: v for k, v in apps.items() if isinstance(v, dict)}
        except (OSError, ValueError):
            return {}

    def _save_registry(self):
        os.makedirs(os.path.dirname(self._registry_path), exist_ok=True)
        tmp = self._registry_path + ".tmp"
        with open(tmp, "w", encoding="utf-8") as f:
            json.dump(self.apps, f, indent=1, sort_keys=True)
        os.replace(tmp, self._registry_path)


SHELL_VERBS = ("getappinstallpath", "vd_appuninstall", "mkdir", "vd_appinstall", "rmfile", "applist")
_SHELL_META = set(";|&`$<>()\\\"'\n\r\t*?")


def parse_shell_command(text):
    """(verb, args, has_suffix) for a command the TV accepts, None for one it refuses.

    The TV's plugin only runs `0 <verb> ...`; the `; echo cmd_ret:$?;` suffix is allowed after
    it. Anything else (other shell syntax, unknown verbs, an interactive shell) is refused."""
    suffix = text.endswith(SHELL_SUFFIX)
    body = text[:-len(SHELL_SUFFIX)] if suffix else text
    if any(c in _SHELL_META for c in body):
        return None
    words = body.split(" ")
    if len(words) < 2 or words[0] != "0" or words[1] not in SHELL_VERBS:
        return None
    args = [w for w in words[2:] if w]   # the TV re-splits the line on blanks
    return words[1], args, suffix


# ---------------------------------------------------------------------------------------------
# Command line

def main(argv=None):
    p = argparse.ArgumentParser(description="Tizen TV simulator on loopback")
    p.add_argument("--address", "--host", dest="address", default="127.0.0.1",
                   help="an address of 127.0.0.0/8 to listen on (default 127.0.0.1), or a private one "
                        "on the LAN of tools/netns-run.sh --lan")
    p.add_argument("--port", type=int, required=True, help="TCP port, 0 = pick a free one")
    p.add_argument("--scenario", default="success", choices=SCENARIOS)
    p.add_argument("--root", required=True, help="folder that holds the TV's file system")
    p.add_argument("--journal", required=True, help="JSON-lines event journal (rewritten)")
    p.add_argument("--ready-file", help="written with the port once the TV listens")
    p.add_argument("--max-payload", type=int, choices=(4096, 262144), default=4096)
    p.add_argument("--crlf", action="store_true",
                   help="CRLF line ends in shell output (the default; scenario lf gives LF)")
    p.add_argument("--capability-writes", choices=CAPABILITY_WRITES, default="alternate",
                   help="capability answer in one WRTE, in two, or taking turns")
    p.add_argument("--delay", type=float, default=2.0, help="answer delay of the slow scenario")
    p.add_argument("--model", default=DEFAULT_MODEL)
    p.add_argument("--tizen", choices=sorted(GENERATIONS), default="4.0",
                   help="platform generation (2.4 = J/K series, 4.0 = later sets)")
    p.add_argument("--wrong-host", action="store_true", help="close every connection at once")
    p.add_argument("--exit-after-seconds", type=float, default=600.0)
    p.add_argument("--pc-address", default="127.0.0.1", help="this PC's address as the TV sees it")
    p.add_argument("--rest-port", type=int, default=0, help="REST service port (a TV: 8001), 0 = free")
    p.add_argument("--rest-delay", type=float, default=rest.DEFAULT_DELAY, help="of rest-slow")
    p.add_argument("--no-ssdp", action="store_true", help="on a LAN address: no SSDP answers")
    args = p.parse_args(argv)
    try:
        address = listen_address(args.address)
    except ValueError as e:
        p.error(str(e))
    if not 0 <= args.port <= 65535:
        p.error("bad port %d" % args.port)

    sim = TvSim(port=args.port, scenario=args.scenario, root=args.root, journal=args.journal,
                max_payload=args.max_payload, delay=args.delay, model=args.model,
                tizen=args.tizen, wrong_host=args.wrong_host, address=address,
                capability_writes=args.capability_writes, pc_address=args.pc_address,
                rest_port=args.rest_port, rest_delay=args.rest_delay, ssdp=not args.no_ssdp)
    try:
        sim.start()
    except OSError as e:
        print("tvsim: cannot listen on %s:%d: %s" % (address, args.port, e), file=sys.stderr)
        return 1
    done = threading.Event()
    why = {"reason": "time limit"}

    def on_signal(signum, _frame):
        why["reason"] = signal.Signals(signum).name
        done.set()
    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    if args.ready_file:
        tmp = args.ready_file + ".tmp"
        with open(tmp, "w") as f:
            f.write("%d\n" % sim.port)
        os.replace(tmp, args.ready_file)
    print("tvsim: listening on %s:%d (%s)" % (address, sim.port, args.scenario), flush=True)
    done.wait(args.exit_after_seconds)
    sim.journal.write("exit", reason=why["reason"])
    sim.stop()
    return 0


if __name__ == "__main__":
    sys.exit(main())
