import os
import sys

import pytest

HERE = os.path.dirname(os.path.abspath(__file__))
if HERE not in sys.path:
    sys.path.insert(0, HERE)

import tvsim  # noqa: E402
from minisdb import Link  # noqa: E402


@pytest.fixture
def make_sim(tmp_path):
    """Start simulators on free loopback ports; all are stopped after the test."""
    sims = []

    def make(**kw):
        kw.setdefault("root", str(tmp_path / "tv"))
        kw.setdefault("journal", str(tmp_path / ("journal%d.jsonl" % len(sims))))
        sim = tvsim.TvSim(**kw).start()
        sims.append(sim)
        return sim

    yield make
    for sim in sims:
        sim.stop()


@pytest.fixture
def sim(make_sim):
    return make_sim()


@pytest.fixture
def link(sim):
    with Link(sim.port) as c:
        c.handshake()
        yield c
