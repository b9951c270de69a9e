"""Test helper: edits a signature file and signs it again, so a test can build a package that is
valid XML-DSig but breaks one widget rule (a wrong role, a missing reference, ...)."""

import base64

from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import padding
from lxml import etree

import widgetcheck
from widgetcheck import NS, b64_sha256, c14n


def resign(signature_xml, key_pem, files, edit=None):
    """signature_xml edited by edit(root), its digests recomputed over files, signed with key_pem."""
    root = etree.fromstring(signature_xml)
    if edit:
        edit(root)
    objects = {o.get("Id"): o for o in root.findall("ds:Object", NS)}
    for ref in root.findall("ds:SignedInfo/ds:Reference", NS):
        uri = ref.get("URI")
        data = c14n(objects[uri[1:]], exclusive=False) if uri.startswith("#") else files[widgetcheck.decode_uri(uri)]
        ref.find("ds:DigestValue", NS).text = b64_sha256(data)
    key = serialization.load_pem_private_key(key_pem, password=None)
    value = key.sign(c14n(root.find("ds:SignedInfo", NS), exclusive=True), padding.PKCS1v15(), hashes.SHA256())
    root.find("ds:SignatureValue", NS).text = "\n" + base64.b64encode(value).decode() + "\n"
    return etree.tostring(root)


def set_role(role_uri):
    def edit(root):
        root.find("ds:Object/ds:SignatureProperties/ds:SignatureProperty/dsp:Role", NS).set("URI", role_uri)
    return edit


def drop_reference(uri):
    def edit(root):
        signed_info = root.find("ds:SignedInfo", NS)
        for ref in signed_info.findall("ds:Reference", NS):
            if ref.get("URI") == uri:
                signed_info.remove(ref)
    return edit
