"""Fixtures for the widget package tests. ctest passes the built packager and package through the
environment (WGTPACK, WGT_PACKAGE); the source folders default to the tree's own."""

import os
import pathlib
import shutil
import subprocess

import pytest

import widgetcheck

REPO = pathlib.Path(__file__).resolve().parents[3]
APP_ID = "Qw7TzLp2Xe.KAVORIN"


def _built(var):
    value = os.environ.get(var)
    if not value:
        pytest.fail(f"{var} is not set: run these tests through ctest of the host build")
    path = pathlib.Path(value)
    if not path.exists():
        pytest.fail(f"{var}={path} does not exist: build the host tree first (target kavorin_widget)")
    return path


@pytest.fixture(scope="session")
def wgtpack():
    return _built("WGTPACK")


@pytest.fixture(scope="session")
def package_path():
    return _built("WGT_PACKAGE")


@pytest.fixture(scope="session")
def source_dir():
    return pathlib.Path(os.environ.get("WGT_SOURCE_DIR", REPO / "widget" / "app"))


@pytest.fixture(scope="session")
def keys_dir():
    return pathlib.Path(os.environ.get("WGT_TESTKEYS_DIR", REPO / "widget" / "testkeys"))


@pytest.fixture(scope="session")
def root_pem(keys_dir):
    return (keys_dir / "root-ca.crt").read_bytes()


@pytest.fixture
def files(package_path):
    """The built package's files, a fresh dict per test so tests can spoil it."""
    return widgetcheck.read_package(package_path)


@pytest.fixture(scope="session")
def xmlsec1():
    path = shutil.which("xmlsec1")
    if path is None:
        pytest.fail("xmlsec1 is not installed on this machine: install the Debian package xmlsec1 "
                    "(tools/setup-debian.sh lists it)")
    return path


@pytest.fixture(scope="session")
def pack(wgtpack, keys_dir):
    """Runs the packager on a source folder with the test keys; returns the finished process."""
    def run(source, output, app_id=APP_ID):
        k = keys_dir
        args = [str(wgtpack), "--source", str(source),
                "--author-key", str(k / "author.key"),
                "--author-cert", str(k / "author.crt"), "--author-cert", str(k / "author-ca.crt"),
                "--distributor-key", str(k / "distributor.key"),
                "--distributor-cert", str(k / "distributor.crt"),
                "--distributor-cert", str(k / "distributor-ca.crt"),
                "--output", str(output)]
        if app_id:
            args += ["--app-id", app_id]
        return subprocess.run(args, capture_output=True, text=True, errors="replace", timeout=120)
    return run


def unpack(files, directory):
    """Writes {name: bytes} as the unpacked tree the TV (and xmlsec1) sees."""
    for name, data in files.items():
        path = directory / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)


@pytest.fixture
def xmlsec_verify(xmlsec1, root_pem, tmp_path):
    """Verifies one signature file of {name: bytes} with xmlsec1, run inside the unpacked tree."""
    def verify(files, signature_name):
        tree = tmp_path / "tree"
        if tree.exists():
            shutil.rmtree(tree)
        tree.mkdir()
        unpack(files, tree)
        (tmp_path / "root.pem").write_bytes(root_pem)
        return subprocess.run([xmlsec1, "--verify", "--trusted-pem", str(tmp_path / "root.pem"), signature_name],
                              cwd=tree, capture_output=True, text=True, errors="replace", timeout=60)
    return verify
