"""Fixtures of the end-to-end tier: one probe and one wineserver for the session; per case a
fresh working folder, the TV simulator and the installer, all stopped at the end of the case."""
import os
import signal
import sys

import pytest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import harness  # noqa: E402

# No case may take longer than this, whatever hangs.
CASE_LIMIT_S = 240


@pytest.fixture(scope="session")
def paths():
    p = harness.Paths()
    missing = p.missing()
    if missing:
        pytest.skip("; ".join(missing))
    return p


@pytest.fixture(scope="session")
def port_lock(paths):
    lock = harness.PortLock()
    yield lock
    lock.release()


@pytest.fixture(scope="session")
def probe(paths, port_lock):
    started = harness.start_wineserver(paths)
    pr = harness.Probe(paths)
    yield pr
    pr.close()
    if started:
        harness.stop_wineserver(paths)


@pytest.fixture(scope="session")
def texts():
    return harness.texts()


@pytest.fixture(autouse=True)
def case_time_limit():
    def expired(signum, frame):
        raise TimeoutError("the case ran longer than %d s" % CASE_LIMIT_S)
    previous = signal.signal(signal.SIGALRM, expired)
    signal.alarm(CASE_LIMIT_S)
    yield
    signal.alarm(0)
    signal.signal(signal.SIGALRM, previous)


# A host of the LAN that is no TV (a soundbar with the same REST service): it hears every search.
WATCHER = "192.168.77.30"


class Session:
    """What one case starts: TV simulators and installers, all in its own folders; on the LAN of
    tools/netns-run.sh --lan, a host that hears every network search."""

    def __init__(self, paths, probe, base):
        self.paths, self.probe, self.base = paths, probe, str(base)
        self.work = os.path.join(self.base, "work")
        os.makedirs(self.work)
        self.tvs, self.apps = [], []
        self.watcher = self.tv("not-a-tv", address=WATCHER) if harness.lan() else None

    def tv(self, scenario="success", *extra, address="127.0.0.1"):
        tv = harness.Tv(self.paths, os.path.join(self.base, "tv%d" % len(self.tvs)), scenario, *extra,
                        address=address)
        self.tvs.append(tv)
        return tv

    def searches(self):
        """How many network searches reached the LAN: the watcher's GET /api/v2/ requests."""
        return len(self.watcher.events("rest")) if self.watcher else 0

    def installer(self, **env):
        app = harness.Installer(self.paths, self.probe, self.work, **env)
        self.apps.append(app)
        return app

    def stop(self):
        for app in self.apps:
            app.stop()
        for tv in self.tvs:
            tv.stop()


@pytest.fixture
def e2e(paths, probe, tmp_path):
    s = Session(paths, probe, tmp_path)
    yield s
    s.stop()
