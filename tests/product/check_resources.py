#!/usr/bin/env python3
"""Checks the resources of a built installer from the file itself: the manifest, the version
block, the window icon and the Install button's picture. Usage: check_resources.py <exe>"""
import struct
import sys
import xml.etree.ElementTree as ET

RT_BITMAP, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 2, 14, 16, 24


def resources(pe):
    """{(type, name, language): bytes}; ids are ints, names strings."""
    pe_at = struct.unpack_from("<I", pe, 0x3C)[0]
    sections, optional_size = struct.unpack_from("<H12xH", pe, pe_at + 6)
    optional = pe_at + 24
    directories = optional + (96 if struct.unpack_from("<H", pe, optional)[0] == 0x10B else 112)
    root_rva = struct.unpack_from("<I", pe, directories + 2 * 8)[0]
    table = [struct.unpack_from("<8xIIII", pe, optional + optional_size + 40 * i) for i in range(sections)]
    if root_rva == 0:
        return {}  # no resources at all

    def offset(rva):
        for _vsize, va, raw_size, raw in table:
            if va <= rva < va + raw_size:
                return rva - va + raw
        raise ValueError(f"RVA {rva:#x} is in no section")

    root = offset(root_rva)

    def walk(at, path, found):
        named, ids = struct.unpack_from("<12xHH", pe, root + at)
        for i in range(named + ids):
            key, target = struct.unpack_from("<II", pe, root + at + 16 + 8 * i)
            if key & 0x80000000:
                length = struct.unpack_from("<H", pe, root + (key & 0x7FFFFFFF))[0]
                start = root + (key & 0x7FFFFFFF) + 2
                key = pe[start:start + 2 * length].decode("utf-16-le")
            if target & 0x80000000:
                walk(target & 0x7FFFFFFF, path + (key,), found)
            else:
                rva, size = struct.unpack_from("<II", pe, root + target)
                found[path + (key,)] = pe[offset(rva):offset(rva) + size]
        return found

    return walk(0, (), {})


def version_tree(block, at=0):
    """One node of a version block: (key, value bytes, children), children by key."""
    length, value_length, kind = struct.unpack_from("<HHH", block, at)
    end = at + 6
    while block[end:end + 2] != b"\0\0":
        end += 2
    key = block[at + 6:end].decode("utf-16-le")
    value_at = (end + 2 + 3) & ~3
    value_size = value_length * 2 if kind == 1 else value_length
    children, child = {}, (value_at + value_size + 3) & ~3
    while child < at + length:
        node = version_tree(block, child)
        children[node[0]] = node
        child = (child + struct.unpack_from("<H", block, child)[0] + 3) & ~3
    return key, block[value_at:value_at + value_size], children


def checks(res):
    manifest = ET.fromstring(res[(RT_MANIFEST, 1, 1033)])
    asm, asm3 = "{urn:schemas-microsoft-com:asm.v1}", "{urn:schemas-microsoft-com:asm.v3}"
    controls = manifest.find(f"{asm}dependency/{asm}dependentAssembly/{asm}assemblyIdentity").attrib
    level = manifest.find(f".//{asm3}requestedExecutionLevel").attrib
    settings = {e.tag.split("}")[1]: e.text for e in manifest.find(f"{asm3}application/{asm3}windowsSettings")}
    systems = {e.get("Id") for e in manifest.iter("{urn:schemas-microsoft-com:compatibility.v1}supportedOS")}

    _, fixed, info = version_tree(res[(RT_VERSION, 1, 1033)])
    signature, _, file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<6I", fixed)
    strings = info["StringFileInfo"][2]
    table = next(iter(strings.values()))[2] if len(strings) == 1 else {}
    text = {k: v[1].decode("utf-16-le").rstrip("\0") for k, v in table.items()}

    glyph = next(v for k, v in res.items() if k[:2] == (RT_BITMAP, "INSTALLGLYPH"))
    _, width, height, _, bits = struct.unpack_from("<IiiHH", glyph)
    icons = res[(RT_GROUP_ICON, "MAINICON", 1033)]

    return [
        ("themed controls", (controls.get("name"), controls.get("version"), controls.get("publicKeyToken")),
         ("Microsoft.Windows.Common-Controls", "6.0.0.0", "6595b64144ccf1df")),
        ("execution level", (level.get("level"), level.get("uiAccess")), ("asInvoker", "false")),
        ("DPI awareness", (settings.get("dpiAware"), settings.get("dpiAwareness")), ("true/pm", "PerMonitorV2")),
        ("supported systems", systems, {
            "{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
            "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
            "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
            "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
            "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # 10
        }),
        ("fixed version", (signature, file_ms, file_ls, product_ms, product_ls),
         (0xFEEF04BD, 0x10000, 0, 0x10000, 0)),
        ("version language", (list(strings), info["VarFileInfo"][2]["Translation"][1]),
         (["040904E4"], struct.pack("<HH", 0x0409, 1252))),
        ("version texts", (text.get("FileVersion"), text.get("ProductVersion")), ("1.0.0.0", "1.0.0.0")),
        # One name and one version, as the manifest, the version block and the signature give them.
        ("names", (manifest.find(f"{asm}description").text, manifest.find(f"{asm}assemblyIdentity").get("version"),
                   text.get("FileDescription"), text.get("ProductName")),
         ("KAVORIN Tizen Installer", "1.0.0.0", "KAVORIN Tizen Installer", "KAVORIN Tizen Installer")),
        ("button picture", (width, abs(height), bits), (24, 24, 16)),
        ("window icon", (struct.unpack_from("<H", icons, 4)[0], icons[6], icons[7], struct.unpack_from("<H", icons, 12)[0]),
         (1, 64, 64, 32)),
    ]


def main(path):
    with open(path, "rb") as f:
        failed = [f"FAILED: {what}: {got!r}, expected {want!r}" for what, got, want in checks(resources(f.read()))
                  if got != want]
    print("\n".join(failed + [f"{path}: {len(failed)} failed"]))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
