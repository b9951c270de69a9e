"""A small, plain host side of the TV protocol, used only by the simulator's tests.

It does exactly what the tests ask and nothing clever: one TCP connection, streams opened one
after another, every WRTE answered with OKAY, one WRTE of ours outstanding at a time.
"""

import socket
import struct
import time

from tvsim import (A_CLSE, A_CNXN, A_OKAY, A_OPEN, A_WRTE, HEADER, ID_DATA, ID_DONE, ID_FAIL,
                   ID_OKAY, ID_QUIT, ID_SEND, ID_STAT, pack_message)

HOST_VERSION = 0x00100000


class Closed(Exception):
    """The TV closed the TCP connection."""


class StreamClosed(Exception):
    """The TV closed the stream (CLSE) while we still expected something."""


class Link:
    def __init__(self, port, timeout=5.0, address="127.0.0.1"):
        self.sock = socket.create_connection((address, port), timeout=timeout)
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.timeout = timeout
        self.buf = b""
        self.next_id = 1
        self.device_max = 4096
        self.replies = {}
        self.last_push = None   # what the TV said around the last push's DONE

    def close(self):
        try:
            self.sock.close()
        except OSError:
            pass

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    # -- raw messages
    def send(self, command, arg0, arg1, data=b""):
        self.sock.sendall(pack_message(command, arg0, arg1, data))

    def send_raw(self, data):
        self.sock.sendall(data)

    def recv(self, timeout=None):
        """Next message (command, arg0, arg1, data); Closed at EOF, socket.timeout if none."""
        self.sock.settimeout(self.timeout if timeout is None else timeout)
        while True:
            if len(self.buf) >= HEADER.size:
                command, a0, a1, n, check, magic = HEADER.unpack_from(self.buf)
                assert magic == command ^ 0xFFFFFFFF, "TV sent a bad magic"
                if len(self.buf) >= HEADER.size + n:
                    data = self.buf[HEADER.size:HEADER.size + n]
                    self.buf = self.buf[HEADER.size + n:]
                    assert sum(data) & 0xFFFFFFFF == check, "TV sent a bad checksum"
                    return command, a0, a1, data
            try:
                chunk = self.sock.recv(65536)
            except ConnectionResetError:
                chunk = b""
            if not chunk:
                raise Closed()
            self.buf += chunk

    def wait_closed(self, timeout=3.0):
        """True if the TV closes the connection within timeout (messages before are skipped)."""
        end = time.monotonic() + timeout
        try:
            while time.monotonic() < end:
                self.recv(timeout=max(0.01, end - time.monotonic()))
        except Closed:
            return True
        except socket.timeout:
            return False
        return False

    # -- handshake and streams
    def handshake(self, maxdata=262144, banner=b"host::\0"):
        self.send(A_CNXN, HOST_VERSION, maxdata, banner)
        command, version, dev_max, data = self.recv()
        assert command == A_CNXN, "expected CNXN, got %08x" % command
        self.device_max = dev_max
        return version, dev_max, data

    def open(self, service):
        """Open a stream; (local id, TV id), or None when the TV refuses it."""
        local = self.next_id
        self.next_id += 1
        self.send(A_OPEN, local, 0, service.encode() + b"\0")
        command, a0, a1, _ = self.recv()
        if command == A_CLSE:
            assert a1 == local
            return None
        assert command == A_OKAY and a1 == local, (command, a0, a1)
        self.replies[local] = b""
        return local, a0

    def _pump(self, local, dev):
        """Handle one incoming message for our stream: WRTE is stored and acknowledged."""
        command, a0, a1, data = self.recv()
        assert a1 == local, "message for another stream"
        if command == A_WRTE:
            assert a0 == dev
            self.replies[local] += data
            self.send(A_OKAY, local, dev)
        elif command == A_CLSE:
            raise StreamClosed()
        return command

    def read_all(self, local, dev):
        """Everything the TV writes on the stream until its CLSE."""
        try:
            while True:
                self._pump(local, dev)
        except StreamClosed:
            pass
        out, self.replies[local] = self.replies[local], b""
        return out

    def write(self, local, dev, data):
        """Write in pieces the TV accepts, each time waiting for its OKAY."""
        for i in range(0, len(data), self.device_max):
            self.send(A_WRTE, local, dev, data[i:i + self.device_max])
            while self._pump(local, dev) != A_OKAY:
                pass

    def read_reply(self, local, dev, n):
        while len(self.replies[local]) < n:
            self._pump(local, dev)
        out = self.replies[local][:n]
        self.replies[local] = self.replies[local][n:]
        return out

    # -- services
    def shell(self, command):
        ids = self.open("shell:" + command)
        if ids is None:
            return None
        return self.read_all(*ids)

    def capability(self):
        ids = self.open("capability:")
        return self.read_all(*ids)

    def sync_stat(self, ids, path):
        p = path.encode()
        self.write(*ids, struct.pack("<II", ID_STAT, len(p)) + p)
        ident, mode, size, mtime = struct.unpack("<IIII", self.read_reply(*ids, 16))
        assert ident == ID_STAT
        return mode, size, mtime

    def sync_status(self, ids):
        ident, n = struct.unpack("<II", self.read_reply(*ids, 8))
        if ident == ID_OKAY:
            return True, ""
        assert ident == ID_FAIL, "%08x" % ident
        return False, self.read_reply(*ids, n).decode()

    def push(self, data, remote, mode=0o100755, chunk=65536, mtime=1577836800):
        """Push bytes to a TV path; (ok, FAIL text). Ends the sync session with QUIT after OKAY.

        self.last_push keeps the bytes the TV sent before DONE (`before_done`) and after the
        status until its CLSE (`after_status`)."""
        ids = self.open("sync:")
        target = ("%s,%d" % (remote, mode)).encode()
        self.write(*ids, struct.pack("<II", ID_SEND, len(target)) + target)
        for i in range(0, len(data), chunk):
            piece = data[i:i + chunk]
            self.write(*ids, struct.pack("<II", ID_DATA, len(piece)) + piece)
        before = self.replies[ids[0]]
        self.write(*ids, struct.pack("<II", ID_DONE, mtime))
        result = self.sync_status(ids)
        if result[0]:
            self.write(*ids, struct.pack("<II", ID_QUIT, 0))
        # After a FAIL the TV ends the session by itself: no QUIT, and a TV that kept the stream
        # open would make this read time out.
        after = self.read_all(*ids)
        self.last_push = {"before_done": before, "after_status": after}
        return result


def lines(output):
    """Shell output as text lines (LF or CRLF)."""
    return output.decode().splitlines()
