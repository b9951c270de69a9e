"""The TV's own REST service, as Samsung sets from 2016 on serve it on port 8001 without
developer mode or pairing: `GET /api/v2/` answers JSON whose `device` object says, among much
else, whether developer mode is on (`developerMode` "1"/"0") and which Host PC IP the TV holds
(`developerIP`). tvsim.py starts it beside the device port, on the same address.

What each scenario does with both ports is in SCENARIOS; every other tvsim scenario serves a
TV in developer mode whose Host PC IP is this PC's address (--pc-address).
"""

import json
import socket
import threading
import time

# A documentation address (never routed): the Host PC IP of a TV set up for another PC.
OTHER_HOST_IP = "192.0.2.44"
MODEL_NAME = "UE43RU7400UXRU"
TV_NAME = "[TV] Samsung 7 Series (43)"
DEFAULT_DELAY = 5.0  # of rest-slow: longer than the installer waits (3 s)

# scenario: (device port 26101, REST answer, developerMode, Host PC IP)
#   port:   "refuse" (nothing listens), "close" (accepts and closes at once)
#   answer: "ok", None (8001 closed) or one of the bad answers below
#   host:   "pc" (this PC's address), "reversed" (its four numbers the other way round),
#           "other" (OTHER_HOST_IP), "none" ("0.0.0.0")
SCENARIOS = {
    "devmode-off": ("refuse", "ok", "0", "none"),
    "host-ip-other": ("close", "ok", "1", "other"),
    "host-ip-reversed": ("close", "ok", "1", "reversed"),
    "devmode-inactive": ("refuse", "ok", "1", "pc"),
    "no-rest": ("close", None, "1", "pc"),
    "rest-large": ("close", "large", "1", "pc"),
    "rest-slow": ("close", "slow", "1", "pc"),
    "rest-malformed": ("close", "malformed", "1", "pc"),
    "rest-not-json": ("close", "not-json", "1", "pc"),
    "rest-chunked": ("close", "chunked", "1", "pc"),
    # Another device of the home network with the same service: a soundbar. No TV.
    "not-a-tv": ("refuse", "not-a-tv", "0", "none"),
}
# What the other tvsim scenarios serve; wrong-host is a TV set up for another PC.
_DEFAULT = (None, "ok", "1", "pc")
_WRONG_HOST = (None, "ok", "1", "other")


def plan(scenario):
    return SCENARIOS.get(scenario, _WRONG_HOST if scenario == "wrong-host" else _DEFAULT)


def refuses_device_port(scenario):
    return plan(scenario)[0] == "refuse"


def closes_device_port(scenario):
    return plan(scenario)[0] == "close"


def reversed_ipv4(address):
    return ".".join(reversed(address.split(".")))


def device_answer(tv_ip, port, developer_mode, developer_ip):
    """The JSON of GET /api/v2/ as a 2019 set writes it (every value a string)."""
    uuid = "uuid:3ad3c3a0-1a2b-4c5d-8e9f-a0b1c2d3e4f5"
    return {
        "device": {
            "FrameTVSupport": "false", "GamePadSupport": "true", "ImeSyncedSupport": "true",
            "Language": "ru_RU", "OS": "Tizen", "PowerState": "on", "TokenAuthSupport": "true",
            "VoiceSupport": "true", "WallScreenRatio": "0", "WallService": "false",
            "countryCode": "RU", "description": "Samsung DTV RCR",
            "developerIP": developer_ip, "developerMode": developer_mode,
            "duid": uuid, "firmwareVersion": "Unknown", "id": uuid, "ip": tv_ip,
            "model": "19_MUSEL_UHD", "modelName": MODEL_NAME, "name": TV_NAME,
            "networkType": "wireless", "resolution": "3840x2160", "smartHubAgreement": "true",
            "ssid": "f0:b4:29:5a:11:02", "type": "Samsung SmartTV", "udn": uuid,
            "wifiMac": "8c:79:f5:12:34:56",
        },
        "id": uuid,
        "isSupport": json.dumps({"DMP_DRM_PLAYREADY": "false", "DMP_DRM_WIDEVINE": "false",
                                 "DMP_available": "true", "EDEN_available": "true",
                                 "FrameTVSupport": "false", "ImeSyncedSupport": "true",
                                 "TokenAuthSupport": "true", "remote_available": "true",
                                 "remote_fourDirections": "true", "remote_touchPad": "true",
                                 "remote_voiceControl": "true"}),
        "name": TV_NAME,
        "remote": "1.0",
        "type": "Samsung SmartTV",
        "uri": "http://%s:%d/api/v2/" % (tv_ip, port),
        "version": "2.0.25",
    }


def _response(status, body, content_type="application/json; charset=utf-8", length=True, extra=""):
    head = "HTTP/1.1 %s\r\nContent-Type: %s\r\n%s" % (status, content_type, extra)
    if length:
        head += "Content-Length: %d\r\n" % len(body)
    return (head + "Connection: close\r\n\r\n").encode() + body


class RestService:
    """GET /api/v2/ on (host, port); port 0 picks a free one (see .port)."""

    def __init__(self, scenario, journal, pc_address="127.0.0.1", port=0, delay=DEFAULT_DELAY):
        _, self.answer, self.developer_mode, host_ip = plan(scenario)
        self.developer_ip = {"pc": pc_address, "reversed": reversed_ipv4(pc_address),
                             "other": OTHER_HOST_IP, "none": "0.0.0.0"}[host_ip]
        self.journal = journal
        self.requested_port = port
        self.delay = float(delay)
        self.host = None
        self.port = None
        self._listener = None
        self._threads = []
        self._stopping = threading.Event()
        self._next = 0

    def start(self, host):
        if self.answer is None:  # an older set: nothing on 8001
            return self
        ls = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        ls.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        ls.bind((host, self.requested_port))
        ls.listen(16)
        ls.settimeout(0.1)
        self._listener = ls
        self.host, self.port = host, ls.getsockname()[1]
        self.journal.write("rest-listening", host=host, port=self.port, answer=self.answer,
                           developerMode=self.developer_mode, developerIP=self.developer_ip)
        t = threading.Thread(target=self._accept_loop, name="tvsim-rest", daemon=True)
        self._threads.append(t)
        t.start()
        return self

    def stop(self):
        self._stopping.set()
        for t in self._threads:
            t.join(5)
        if self._listener:
            self._listener.close()
            self._listener = None

    def _accept_loop(self):
        while not self._stopping.is_set():
            try:
                sock, addr = self._listener.accept()
            except socket.timeout:
                continue
            except OSError:
                break
            self._next += 1
            t = threading.Thread(target=self._serve, args=(sock, "%s:%d" % addr, self._next),
                                 name="tvsim-rest-%d" % self._next, daemon=True)
            self._threads = [x for x in self._threads if x.is_alive()] + [t]
            t.start()

    def _serve(self, sock, peer, rid):
        try:
            sock.settimeout(5)
            request = b""
            while b"\r\n\r\n" not in request and len(request) < 8192:
                chunk = sock.recv(4096)
                if not chunk:
                    break
                request += chunk
            line = request.split(b"\r\n", 1)[0].decode("latin-1")
            words = line.split(" ")
            method, path = (words[0], words[1]) if len(words) == 3 else ("", line)
            found = method == "GET" and path == "/api/v2/"
            answer = self.answer if found else "not-found"
            self.journal.write("rest", req=rid, peer=peer, method=method, path=path, answer=answer)
            if answer == "slow" and self._stopping.wait(self.delay):
                return
            sock.sendall(self._bytes(answer))
            sock.shutdown(socket.SHUT_WR)
            # Let the client read to the end before the socket goes (no reset over unread bytes).
            sock.settimeout(0.5)
            deadline = time.monotonic() + 2
            while time.monotonic() < deadline and sock.recv(4096):
                pass
        except OSError:
            pass
        finally:
            sock.close()

    def _bytes(self, answer):
        if answer == "not-found":
            return _response("404 Not Found", b"Not Found", "text/plain")
        body = json.dumps(device_answer(self.host, self.port, self.developer_mode, self.developer_ip),
                          separators=(",", ":")).encode()
        if answer in ("ok", "slow"):
            return _response("200 OK", body)
        if answer == "not-a-tv":
            device = json.loads(body)
            device["device"].update(type="Samsung Speaker", name="[AV] Samsung Soundbar Q60T",
                                    modelName="HW-Q60T", OS="Tizen")
            device["type"] = "Samsung Speaker"
            return _response("200 OK", json.dumps(device).encode())
        if answer == "large":  # valid JSON, over 64 KiB
            padded = json.loads(body)
            padded["isSupport"] = " " * (70 * 1024)
            return _response("200 OK", json.dumps(padded).encode())
        if answer == "malformed":
            return b"HTTP/1.1 OK\r\nContent-Length: many\r\n\r\n" + body
        if answer == "not-json":
            return _response("200 OK", b"<html><body><h1>Samsung SmartTV</h1></body></html>",
                             "text/html")
        if answer == "chunked":
            half = len(body) // 2
            chunks = b"".join(b"%x\r\n%s\r\n" % (len(part), part) for part in (body[:half], body[half:]))
            return _response("200 OK", chunks + b"0\r\n\r\n", length=False,
                             extra="Transfer-Encoding: chunked\r\n")
        raise ValueError("unknown REST answer %r" % answer)
