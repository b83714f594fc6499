"""A loopback TCP server that answers framed messages with scripted replies.

Each accepted connection reads whole messages (a 13-byte header and as many
payload bytes as its length field says) and asks a handler what to do with
each: bytes to send back, CLOSE, RESET, or None for no answer.
"""

import socket
import struct
import threading

CLOSE = "close"
RESET = "reset"

HEADER_SIZE = 13


def message(msg_type, set_flag=0, value=None, length=None):
    """A message in wire format, with an optional signed 32-bit value."""
    payload = b"" if value is None else struct.pack("<i", value)
    if length is None:
        length = len(payload)
    return struct.pack("<HBBH3sI", 0x1801, 0, set_flag, msg_type, b"\0\0\0", length) + payload


def echo_state(request):
    """Answers a request with its own type, set flag 1 and value 1."""
    msg_type = struct.unpack_from("<H", request, 4)[0]
    return message(msg_type, 1, 1)


def reset(sock):
    """Closes `sock` so that the peer sees a connection reset."""
    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    sock.close()


class ScriptedServer:
    """Serves connections one after another on a free loopback port."""

    def __init__(self, handler=echo_state, on_accept=None, family=socket.AF_INET, port=0):
        self.handler = handler
        self.on_accept = on_accept
        self.messages = []      # every complete message received, in order
        self.connections = 0
        self._listener = socket.socket(family, socket.SOCK_STREAM)
        self._listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        host = "::1" if family == socket.AF_INET6 else "127.0.0.1"
        self._listener.bind((host, port))
        self._listener.listen(8)
        self._listener.settimeout(0.2)
        self.host = host
        self.port = self._listener.getsockname()[1]
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._serve, daemon=True)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join(timeout=10)
        self._listener.close()

    def _serve(self):
        while not self._stop.is_set():
            try:
                conn, _ = self._listener.accept()
            except socket.timeout:
                continue
            except OSError:
                return
            self.connections += 1
            self._talk(conn)

    def _talk(self, conn):
        conn.settimeout(0.2)
        if self.on_accept == CLOSE:
            conn.close()
            return
        if self.on_accept == RESET:
            reset(conn)
            return
        pending = b""
        while not self._stop.is_set():
            try:
                chunk = conn.recv(65536)
            except socket.timeout:
                continue
            except OSError:
                break
            if not chunk:
                break
            pending += chunk
            while len(pending) >= HEADER_SIZE:
                length = struct.unpack_from("<I", pending, 9)[0]
                if len(pending) < HEADER_SIZE + length:
                    break
                request = pending[:HEADER_SIZE + length]
                pending = pending[HEADER_SIZE + length:]
                self.messages.append(request)
                answer = self.handler(request)
                if answer == CLOSE:
                    conn.close()
                    return
                if answer == RESET:
                    reset(conn)
                    return
                if answer:
                    conn.sendall(answer)
        conn.close()
