"""The installer's eleven commands for the Python tiers, read from the rows the installer itself
runs (build/host/install/install-sequence.json, written by the host build)."""
import json
import os
import re

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT = os.path.join(ROOT, "build", "host", "install", "install-sequence.json")


def rows():
    """Each command's row: args (with %address %port %appId %widget %staging), log,
    barRaise, talksToTv, namesStaging, holdsVerdict, boundSeconds."""
    path = os.environ.get("KAVORIN_INSTALL_SEQUENCE") or DEFAULT
    if not os.path.isfile(path):
        raise FileNotFoundError("%s is missing: build the host tier first (make host)" % path)
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def steps(address, port, app_id, widget, staging):
    """(client arguments, log file or None) of each command, with the fields filled in."""
    fields = {"address": address, "port": str(port), "appId": app_id, "widget": widget,
              "staging": staging}
    fill = lambda m: fields.get(m.group(1), m.group(0))
    return [(re.sub(r"%([A-Za-z0-9]+)", fill, row["args"]), row["log"]) for row in rows()]


def bar_while_running():
    """The bar's position while each command runs: 2 for the first, then raised by each row."""
    pos, out = 2, []
    for row in rows():
        out.append(pos)
        pos += row["barRaise"]
    return out
