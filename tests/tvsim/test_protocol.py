"""Transport behaviour of the simulated TV: handshake, message checks, streams."""

import socket
import struct
import time

import pytest

from minisdb import Link, lines
from tvsim import (A_CLSE, A_CNXN, A_OKAY, A_OPEN, A_WRTE, HEADER, ID_DATA, ID_SEND, ID_STAT,
                   pack_message)


def test_tv_waits_for_the_host_then_answers_with_its_banner(sim):
    with Link(sim.port) as c:
        with pytest.raises(socket.timeout):
            c.recv(timeout=0.3)          # the TV never speaks first
        version, maxdata, banner = c.handshake(maxdata=4096)
    assert version == 0x02000000
    assert maxdata == 4096
    assert banner == b"device::UA32N4200::0\0"
    cnxn = sim.events("cnxn")[0]
    assert cnxn["version"] == "0x00100000" and cnxn["maxdata"] == 4096
    assert cnxn["banner"] == "host::" and cnxn["nul_terminated"]
    assert sim.events("accepted")[0]["peer"].startswith("127.0.0.1:")


def test_model_and_large_payload_are_announced(make_sim):
    sim = make_sim(model="UE43RU7400UXRU", max_payload=262144)
    with Link(sim.port) as c:
        _, maxdata, banner = c.handshake()
    assert maxdata == 262144
    assert banner == b"device::UE43RU7400UXRU::0\0"


def _bad_magic():
    m = bytearray(pack_message(A_OPEN, 1, 0, b"capability:\0"))
    m[20] ^= 0xFF
    return bytes(m)


def _bad_checksum():
    m = bytearray(pack_message(A_OPEN, 1, 0, b"capability:\0"))
    m[16] ^= 0x01
    return bytes(m)


def _oversize():
    data = b"x" * 4097
    return pack_message(A_WRTE, 1, 0x101, data)


@pytest.mark.parametrize("message,reason", [
    (_bad_magic(), "bad magic"),
    (_bad_checksum(), "bad checksum"),
    (_oversize(), "payload larger than the TV's maximum"),
])
def test_a_bad_message_drops_the_connection(sim, message, reason):
    with Link(sim.port) as c:
        c.handshake()
        c.send_raw(message)
        assert c.wait_closed()
    assert [e["reason"] for e in sim.events("drop")] == [reason]
    assert any(e["what"] == reason for e in sim.violations())


def test_bad_magic_before_the_handshake_also_drops(sim):
    with Link(sim.port) as c:
        c.send_raw(_bad_magic())
        assert c.wait_closed()


def test_payload_up_to_the_announced_maximum_is_accepted(make_sim):
    sim = make_sim(max_payload=262144)
    with Link(sim.port) as c:
        c.handshake()
        ok, _ = c.push(b"z" * 200000, "/tmp/big.bin", chunk=65536)   # WRTEs of 65544 bytes
    assert ok
    assert sim.tv_file("/tmp/big.bin") == b"z" * 200000
    assert sim.violations() == []


def test_open_before_the_tv_answered_cnxn_is_ignored(sim):
    with Link(sim.port) as c:
        c.send(A_OPEN, 1, 0, b"capability:\0")
        with pytest.raises(socket.timeout):
            c.recv(timeout=0.3)
        c.handshake()
        assert c.capability()
    assert [v["what"] for v in sim.violations()] == ["OPEN before the TV's CNXN"]


@pytest.mark.parametrize("service", [
    "shell:", "shell:ls", "shell:0 rm -rf /", "shell:0 applist | cat", "shell:0 applist; reboot",
    "shell:1 runcheck", "shell:0 was_execute Qw7TzLp2Xe.KAVORIN", "shell: 0 applist",
    "reboot:", "root:on", "sync", "capability",
])
def test_services_the_tv_refuses_get_clse(link, sim, service):
    assert link.open(service) is None
    opened = sim.events("open")[-1]
    assert opened["service"] == service and opened["accepted"] is False


def test_service_name_without_nul_loses_its_last_character(link, sim):
    link.send(A_OPEN, 7, 0, b"capability:")
    command, _, a1, _ = link.recv()
    assert (command, a1) == (A_CLSE, 7)          # "capability" is not a service
    assert sim.violations()[0]["what"] == "service name not NUL-terminated"
    assert sim.events("open")[-1]["service"] == "capability"


@pytest.mark.parametrize("form,sizes", [("one", [641]), ("two", [2, 639])])
def test_capability_is_a_length_then_recorded_lines(make_sim, form, sizes):
    sim = make_sim(capability_writes=form)
    with Link(sim.port) as link:
        link.handshake()
        local, dev = link.open("capability:")
        writes = []
        while True:
            command, _, _, data = link.recv()
            if command == A_CLSE:
                break
            writes.append(data)
            link.send(A_OKAY, local, dev)
    assert [len(w) for w in writes] == sizes
    body = b"".join(writes)
    (n,) = struct.unpack_from("<H", body)
    text = body[2:]
    assert n == len(text) and text.endswith(b"\0")
    caps = dict(line.split(":", 1) for line in text[:-1].decode().splitlines())
    assert caps["sdk_toolpath"] == "/home/owner/share/tmp/sdk_tools"
    assert caps["secure_protocol"] == "enabled" and caps["filesync_support"] == "push"
    assert caps["platform_version"] == "4.0" and caps["sdbd_version"] == "2.2.31"


def test_capability_form_alternates_by_default(link, sim):
    for _ in range(3):
        assert link.capability()
    assert [e["writes"] for e in sim.events("capability")] == [1, 2, 1]


def test_clse_as_the_daemon_sends_it(link, sim):
    # A service that ends: CLSE with local id 0.
    local, dev = link.open("shell:0 getappinstallpath")
    while True:
        command, a0, a1, _ = link.recv()
        if command != A_WRTE:
            break
        link.send(A_OKAY, local, dev)
    assert (command, a0, a1) == (A_CLSE, 0, local)
    # The host's CLSE for a stream already closed is ignored: no echo, nothing journaled.
    link.send(A_CLSE, local, dev)
    with pytest.raises(socket.timeout):
        link.recv(timeout=0.3)
    # The host's CLSE for an open stream is echoed, again with local id 0.
    local, dev = link.open("sync:")
    link.send(A_CLSE, local, dev)
    assert link.recv()[:3] == (A_CLSE, 0, local)
    assert sim.events("stream-closed")[-1]["service"] == "sync:"
    # ... and the stream is gone: a second CLSE gets nothing.
    link.send(A_CLSE, local, dev)
    with pytest.raises(socket.timeout):
        link.recv(timeout=0.3)
    assert sim.violations() == []


def test_tv_keeps_one_wrte_outstanding(link):
    local, dev = link.open("shell:0 applist")
    command, a0, a1, first = link.recv()
    assert (command, a0, a1) == (A_WRTE, dev, local)
    with pytest.raises(socket.timeout):
        link.recv(timeout=0.3)                    # nothing more until we acknowledge
    link.send(A_OKAY, local, dev)
    command, _, _, second = link.recv()
    assert command == A_WRTE
    link.send(A_OKAY, local, dev)
    rest = link.read_all(local, dev)
    assert lines(first + second + rest)[0] == "\tApplication List for user 5001"


def test_host_sending_a_second_wrte_before_okay_is_journaled(link, sim):
    local, dev = link.open("sync:")
    path = b"/tmp/x"
    request = struct.pack("<II", ID_STAT, len(path)) + path
    # both in one segment: the second WRTE does not wait for the TV's OKAY
    link.send_raw(pack_message(A_WRTE, local, dev, request[:5]) +
                  pack_message(A_WRTE, local, dev, request[5:]))
    okays = 0
    while okays < 2:
        command, _, _, _ = link.recv()
        okays += command == A_OKAY
    assert [v["what"] for v in sim.violations()] == ["second WRTE before the TV's OKAY"]


def test_well_behaved_session_has_no_violations(link, sim):
    link.shell("0 applist")
    link.capability()
    link.push(b"abc", "/tmp/abc")
    assert sim.violations() == []


def test_okay_without_outstanding_wrte_and_wrong_ids_are_journaled(link, sim):
    local, dev = link.open("sync:")
    link.send(A_OKAY, local, dev)
    link.send(A_WRTE, local + 40, dev, b"QUIT\0\0\0\0")
    link.read_all(local, dev)
    whats = [v["what"] for v in sim.violations()]
    assert whats == ["OKAY without an outstanding WRTE", "WRTE with wrong local id"]


def test_output_is_split_to_the_hosts_maximum_payload(make_sim):
    sim = make_sim()
    with Link(sim.port) as c:
        c.handshake(maxdata=16)
        local, dev = c.open("shell:0 applist")
        pieces = []
        while True:
            command, _, _, data = c.recv()
            if command == A_CLSE:
                break
            assert command == A_WRTE and len(data) <= 16
            pieces.append(data)
            c.send(A_OKAY, local, dev)
    with Link(sim.port) as c:
        c.handshake()
        assert b"".join(pieces) == c.shell("0 applist")
    assert len(pieces) > 10


def test_second_cnxn_resets_the_transport(link, sim):
    link.open("sync:")
    version, _, _ = link.handshake()
    assert version == 0x02000000
    assert link.shell("0 getappinstallpath")
    assert len(sim.events("cnxn")) == 2


def test_header_layout_is_little_endian():
    m = pack_message(A_CNXN, 0x02000000, 4096, b"host::\0")
    assert m[:4] == b"CNXN"
    assert HEADER.unpack_from(m) == (A_CNXN, 0x02000000, 4096, 7, 562, 0xB1A7B1BC)


def test_closed_event_names_streams_left_open(sim):
    with Link(sim.port) as c:
        c.handshake()
        c.open("shell:0 applist")
        assert c.recv()[0] == A_WRTE                  # never acknowledged
    for _ in range(100):
        if sim.events("closed"):
            break
        time.sleep(0.01)
    (stream,) = sim.events("closed")[0]["open_streams"]
    assert stream["service"] == "shell:0 applist" and stream["awaiting_okay"] and stream["queued"] > 0


def test_sync_data_over_64k_is_refused(link, sim):
    ids = link.open("sync:")
    target = b"/tmp/big,33261"
    link.write(*ids, struct.pack("<II", ID_SEND, len(target)) + target)
    link.write(*ids, struct.pack("<II", ID_DATA, 65537))
    assert link.sync_status(ids) == (False, "oversize data message")
    link.read_all(*ids)                               # the TV ends the session
    assert sim.events("push")[-1]["status"] == "failed"
    assert not sim.tv_exists("/tmp/big")


def test_sync_stat_reports_files_and_directories(link):
    ids = link.open("sync:")
    assert link.sync_stat(ids, "/nope")[0] == 0
    assert link.sync_stat(ids, "/home/owner/share/tmp/sdk_tools")[0] & 0o170000 == 0o040000
