"""The packager refuses, naming the file and the reason, what a TV would refuse."""

import shutil

import pytest


@pytest.fixture
def app(source_dir, tmp_path):
    copy = tmp_path / "app"
    shutil.copytree(source_dir, copy)
    return copy


def refused(pack, app, tmp_path, **kw):
    out = tmp_path / "out.wgt"
    out.write_bytes(b"stale package from an earlier build")
    result = pack(app, out, **kw)
    assert result.returncode == 1, result.stdout + result.stderr
    assert not out.exists(), "a refused build must not leave a package behind"
    assert not (tmp_path / "out.wgt.tmp").exists()
    return result.stderr


def edit_config(app, old, new):
    path = app / "config.xml"
    text = path.read_text()
    assert old in text
    path.write_text(text.replace(old, new))


def test_an_extra_file(pack, app, tmp_path):
    (app / "notes.txt").write_text("todo")
    err = refused(pack, app, tmp_path)
    assert f"wgtpack: {app}/notes.txt: is not one of the package's files" in err


def test_a_name_with_a_space(pack, app, tmp_path):
    (app / "css" / "my style.css").write_text("a{}")
    err = refused(pack, app, tmp_path)
    assert f"wgtpack: {app}/css/my style.css: name holds a space" in err


def test_a_non_ascii_name(pack, app, tmp_path):
    (app / "caf\u00e9.js").write_text("1;")
    err = refused(pack, app, tmp_path)
    assert f"wgtpack: {app}/caf\\xC3\\xA9.js: name holds a non-ASCII byte" in err


def test_an_id_that_does_not_start_with_the_package(pack, app, tmp_path):
    edit_config(app, 'id="Qw7TzLp2Xe.KAVORIN"', 'id="Ab7TzLp2Xe.KAVORIN"')
    err = refused(pack, app, tmp_path, app_id=None)
    assert (f"wgtpack: {app}/config.xml: application id 'Ab7TzLp2Xe.KAVORIN' does not start with its "
            f"package id 'Qw7TzLp2Xe'") in err


@pytest.mark.parametrize("old,new,reason", [
    ('package="Qw7TzLp2Xe"', 'package="Qw7-zLp2Xe"', "package id 'Qw7-zLp2Xe' must be exactly 10 letters or digits"),
    ('id="Qw7TzLp2Xe.KAVORIN"', 'id="Qw7TzLp2Xe.KAVORIN.2"', "application id 'Qw7TzLp2Xe.KAVORIN.2' must be"),
    (' required_version="2.3"', "", "<tizen:application> lacks required_version"),
])
def test_a_config_the_tv_would_refuse(pack, app, tmp_path, old, new, reason):
    edit_config(app, old, new)
    err = refused(pack, app, tmp_path, app_id=None)
    assert f"wgtpack: {app}/config.xml: {reason}" in err


def test_an_id_other_than_the_installers(pack, app, tmp_path):
    edit_config(app, 'id="Qw7TzLp2Xe.KAVORIN"', 'id="Qw7TzLp2Xe.OTHER"')
    err = refused(pack, app, tmp_path)
    assert "is not the installer's 'Qw7TzLp2Xe.KAVORIN'" in err


def test_a_bad_command_line_is_a_usage_error(wgtpack):
    import subprocess
    result = subprocess.run([str(wgtpack), "--source"], capture_output=True, text=True, timeout=60)
    assert result.returncode == 2
    assert "usage: wgtpack" in result.stderr
