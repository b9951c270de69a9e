"""The TV's REST service on port 8001 and what the developer-mode scenarios do with both ports."""

import http.client
import json
import signal
import socket
import time

import pytest

import tvsim
from minisdb import Link
from test_scenarios import _start_cli

PC = "192.168.1.20"


def device_port(sim):
    """What port 26101 does with a connection: refused, closed at once, or served."""
    try:
        with Link(sim.port) as c:
            if c.wait_closed(timeout=2):
                return "closed"
            c.handshake()
            return "served"
    except ConnectionRefusedError:
        return "refused"


def get(port, path="/api/v2/"):
    """Status, headers and raw body of one GET on 127.0.0.1 (the body undecoded)."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        s.sendall(b"GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n" % path.encode())
        raw = b""
        while chunk := s.recv(65536):
            raw += chunk
    head, _, body = raw.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    headers = dict(line.split(": ", 1) for line in lines[1:])
    return lines[0], headers, body


@pytest.mark.parametrize("scenario, port, mode, host_ip", [
    ("success", "served", "1", PC),
    ("wrong-host", "closed", "1", "192.0.2.44"),
    ("devmode-off", "refused", "0", "0.0.0.0"),
    ("host-ip-other", "closed", "1", "192.0.2.44"),
    ("host-ip-reversed", "closed", "1", "20.1.168.192"),
    ("devmode-inactive", "refused", "1", PC),
])
def test_scenario_ports_and_device(make_sim, scenario, port, mode, host_ip):
    sim = make_sim(scenario=scenario, pc_address=PC)
    assert device_port(sim) == port
    status, headers, body = get(sim.rest.port)
    assert status == "HTTP/1.1 200 OK" and int(headers["Content-Length"]) == len(body)
    answer = json.loads(body)
    device = answer["device"]
    assert (device["developerMode"], device["developerIP"]) == (mode, host_ip)
    assert device["modelName"] == "UE43RU7400UXRU" and device["OS"] == "Tizen"
    assert device["ip"] == "127.0.0.1" and answer["uri"] == "http://127.0.0.1:%d/api/v2/" % sim.rest.port
    assert all(isinstance(v, str) for v in device.values())
    assert sim.events("rest") == [dict(sim.events("rest")[0], method="GET", path="/api/v2/", answer="ok")]


def test_an_older_set_has_no_rest_service(make_sim):
    sim = make_sim(scenario="no-rest")
    assert device_port(sim) == "closed"
    assert sim.rest.port is None and sim.events("rest-listening") == []


def test_bad_answers(make_sim):
    def answer(scenario, **kw):
        sim = make_sim(scenario=scenario, **kw)
        t0 = time.monotonic()
        got = get(sim.rest.port)
        assert device_port(sim) == "closed"
        return got, time.monotonic() - t0

    (status, headers, body), _ = answer("rest-large")
    assert status.endswith("200 OK") and len(body) > 64 * 1024 and json.loads(body)["device"]
    (status, headers, body), took = answer("rest-slow", rest_delay=0.5)
    assert took >= 0.5 and json.loads(body)["device"]
    (status, headers, body), _ = answer("rest-malformed")
    assert status == "HTTP/1.1 OK" and headers["Content-Length"] == "many"
    (status, headers, body), _ = answer("rest-not-json")
    assert status.endswith("200 OK") and body.startswith(b"<html>")
    (status, headers, body), _ = answer("rest-chunked")
    assert headers["Transfer-Encoding"] == "chunked" and "Content-Length" not in headers
    decoded, rest = b"", body
    while True:
        size, _, rest = rest.partition(b"\r\n")
        if int(size, 16) == 0:
            break
        decoded, rest = decoded + rest[:int(size, 16)], rest[int(size, 16) + 2:]
    assert json.loads(decoded)["device"]["developerMode"] == "1"


def test_other_requests_get_404_and_every_request_is_journalled(make_sim):
    sim = make_sim()
    assert get(sim.rest.port, "/api/v2")[0] == "HTTP/1.1 404 Not Found"
    conn = http.client.HTTPConnection("127.0.0.1", sim.rest.port, timeout=10)
    conn.request("POST", "/api/v2/")
    assert conn.getresponse().status == 404
    conn.close()
    assert [(e["method"], e["path"], e["answer"]) for e in sim.events("rest")] == [
        ("GET", "/api/v2", "not-found"), ("POST", "/api/v2/", "not-found")]


def test_command_line_options(tmp_path):
    proc, ready = _start_cli(tmp_path, "--scenario", "host-ip-reversed", "--pc-address", "10.0.0.7")
    try:
        assert ready.exists()
        listening = [e for e in tvsim.read_journal(str(tmp_path / "j.jsonl"))
                     if e["event"] == "rest-listening"]
        assert listening[0]["developerIP"] == "7.0.0.10"
        assert json.loads(get(listening[0]["port"])[2])["device"]["developerIP"] == "7.0.0.10"
    finally:
        proc.send_signal(signal.SIGTERM)
        assert proc.wait(timeout=10) == 0
