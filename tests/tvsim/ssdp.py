"""The TV's SSDP answers, as a Samsung set gives them on its LAN: an M-SEARCH for its remote-control
service, its DIAL service or ssdp:all, multicast to 239.255.255.250:1900, gets a unicast
`HTTP/1.1 200 OK` from the TV's own address for each of those services, a moment later (within the
search's MX). tvsim.py starts it beside the device port when the TV listens on a LAN address
(tools/netns-run.sh --lan): loopback has no multicast.
"""

import socket
import threading

GROUP, PORT = "239.255.255.250", 1900
SERVICES = ("urn:samsung.com:device:RemoteControlReceiver:1", "urn:dial-multiscreen-org:service:dial:1")
ANSWER_DELAY = 0.05  # a TV answers within MX, not at once


def parse_search(datagram):
    """The ST of an M-SEARCH (`ssdp:discover`), or None for anything else."""
    try:
        lines = datagram.decode("ascii").split("\r\n")
    except UnicodeDecodeError:
        return None
    if lines[0] != "M-SEARCH * HTTP/1.1":
        return None
    fields = {}
    for line in lines[1:]:
        name, colon, value = line.partition(":")
        if colon:
            fields[name.strip().upper()] = value.strip()
    return fields.get("ST") if fields.get("MAN") == '"ssdp:discover"' else None


def answer(service, address, uuid):
    return ("HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=1800\r\nEXT:\r\n"
            "LOCATION: http://%s:7676/smp_15_\r\nSERVER: SHP, UPnP/1.0, Samsung UPnP SDK/1.0\r\n"
            "ST: %s\r\nUSN: uuid:%s::%s\r\nContent-Length: 0\r\n\r\n" % (address, service, uuid, service)).encode()


class SsdpResponder:
    """Hears M-SEARCHes on the LAN interface that holds `address` and, unless `answers` is false,
    answers those for the TV's services. Every search heard is journalled (`ssdp-search`), every
    answer sent too (`ssdp-answer`)."""

    def __init__(self, address, journal, answers=True, uuid="0ee6b280-00c8-1000-a1b2-8c79f5123456"):
        self.address, self.journal, self.answers, self.uuid = address, journal, answers, uuid
        self._stopping = threading.Event()
        self._thread = None
        self._listener = self._sender = None

    def start(self):
        ls = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        ls.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)  # several TVs on one LAN
        ls.bind((GROUP, PORT))
        ls.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                      socket.inet_aton(GROUP) + socket.inet_aton(self.address))
        ls.settimeout(0.1)
        self._listener = ls
        self._sender = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self._sender.bind((self.address, 0))
        self._thread = threading.Thread(target=self._serve, name="tvsim-ssdp", daemon=True)
        self._thread.start()
        return self

    def stop(self):
        self._stopping.set()
        if self._thread:
            self._thread.join(5)
        for s in (self._listener, self._sender):
            if s:
                s.close()

    def _serve(self):
        while not self._stopping.is_set():
            try:
                datagram, peer = self._listener.recvfrom(2048)
            except socket.timeout:
                continue
            except OSError:
                break
            service = parse_search(datagram)
            if service is None:
                continue
            self.journal.write("ssdp-search", peer="%s:%d" % peer, st=service)
            if not self.answers:
                continue
            wanted = SERVICES if service == "ssdp:all" else [s for s in SERVICES if s == service]
            if wanted and self._stopping.wait(ANSWER_DELAY):
                break
            for s in wanted:
                try:
                    self._sender.sendto(answer(s, self.address, self.uuid), peer)
                    self.journal.write("ssdp-answer", peer="%s:%d" % peer, st=s)
                except OSError as e:
                    self.journal.write("ssdp-answer", peer="%s:%d" % peer, st=s, error=str(e))
