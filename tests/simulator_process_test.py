#!/usr/bin/env python3
"""Runs the built simulator as a process and talks to it over loopback.

Settings (environment):
  TALVO_SIM           command that starts the simulator (split like a shell
                      command line, e.g. "'/usr/lib/wine/wine64' 'talvoW6Sim.exe'")
  TALVO_SIM_PLATFORM  "posix" (default) or "windows": how the simulator is
                      asked to stop

Every wait is bounded; no test depends on how fast the machine is, except
that a delayed or split reply may not arrive before its time.
"""

import os
import queue
import re
import shlex
import signal
import socket
import struct
import subprocess
import threading
import time
import unittest

SIM = shlex.split(os.environ.get("TALVO_SIM", ""))
PLATFORM = os.environ.get("TALVO_SIM_PLATFORM", "posix")
# The requests to stop that the simulator answers by closing every connection
# and exiting with status 0. A Windows program has no signals; Wine turns a
# SIGINT into the console's Ctrl-C event, and a SIGTERM ends the program
# without telling it.
STOP_SIGNALS = {
    "posix": (signal.SIGTERM, signal.SIGINT),
    "windows": (signal.SIGINT,),
}[PLATFORM]
WAIT = 10.0  # seconds: the bound on every wait that is expected to succeed

NONE, CONNECT, ACQUISITION, LASERPOWER, INTERVAL, IMAGECOUNT, TRIGGERCOUNT = 0, 2, 4, 5, 6, 9, 10


def message(type_, value=None, *, set_flag=None, payload=None, magic=0x1801, length=None):
    """Wire bytes of a message: a value gives set flag 1 and a 4-byte payload."""
    if payload is None:
        payload = b"" if value is None else struct.pack("<i", value)
    if set_flag is None:
        set_flag = 0 if value is None else 1
    if length is None:
        length = len(payload)
    return struct.pack("<HBBH3xI", magic, 0, set_flag, type_, length) + payload


def recv_exactly(sock, n):
    data = b""
    while len(data) < n:
        chunk = sock.recv(n - len(data))
        if not chunk:
            raise EOFError(f"connection closed after {len(data)} of {n} bytes")
        data += chunk
    return data


def read_reply(sock):
    header = recv_exactly(sock, 13)
    (length,) = struct.unpack_from("<I", header, 9)
    return header + recv_exactly(sock, length)


def value_of(reply):
    return struct.unpack_from("<i", reply, 13)[0]


def ask(sock, type_, value=None):
    sock.sendall(message(type_, value))
    reply = read_reply(sock)
    return value_of(reply) if len(reply) == 17 else None


def assert_closed_by_peer(test, sock):
    """The simulator closed `sock`: an end of stream or a reset, not a timeout."""
    try:
        test.assertEqual(sock.recv(100), b"")
    except ConnectionResetError:
        pass


class Simulator:
    """One simulator process, stopped and reaped when the test ends."""

    def __init__(self, *args, listen=("127.0.0.1:0",)):
        argv = list(SIM)
        for address in listen:
            argv += ["--listen", address]
        self.process = subprocess.Popen(
            argv + list(args), stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        self.lines = queue.Queue()
        self.stdout = []
        self.stderr = []
        self.readers = [
            threading.Thread(target=self._pump, args=(self.process.stdout, self.lines), daemon=True),
            threading.Thread(target=self._collect, args=(self.process.stderr, self.stderr), daemon=True),
        ]
        for reader in self.readers:
            reader.start()
        first = self.next_line()
        match = re.fullmatch(r"talvoW6Sim listening on (.+)", first)
        if not match:
            raise AssertionError(f"unexpected first line {first!r}")
        self.addresses = match.group(1).split(" ")

    @staticmethod
    def _pump(stream, lines):
        for line in stream:
            lines.put(line.rstrip("\n"))
        lines.put(None)

    @staticmethod
    def _collect(stream, into):
        for line in stream:
            into.append(line.rstrip("\n"))

    def next_line(self, timeout=WAIT):
        try:
            line = self.lines.get(timeout=timeout)
        except queue.Empty:
            raise AssertionError("no output from the simulator") from None
        if line is None:
            raise AssertionError("simulator output ended; stderr: " + "\n".join(self.stderr))
        self.stdout.append(line)
        return line

    def wait_for_line(self, pattern):
        """The next output line that matches `pattern` (a regular expression)."""
        deadline = time.monotonic() + WAIT
        while True:
            line = self.next_line(timeout=max(0.0, deadline - time.monotonic()))
            if re.search(pattern, line):
                return line

    def port(self, index=0):
        return int(self.addresses[index].rsplit(":", 1)[1])

    def connect(self, index=0):
        host = self.addresses[index].rsplit(":", 1)[0].strip("[]")
        sock = socket.create_connection((host, self.port(index)), timeout=WAIT)
        sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        return sock

    def stop(self, sig=STOP_SIGNALS[0]):
        """Asks the simulator to stop; its exit status, once its output is all read."""
        self.process.send_signal(sig)
        status = self.process.wait(timeout=WAIT)
        for reader in self.readers:
            reader.join(timeout=WAIT)
        return status

    def close(self):
        if self.process.poll() is None:
            # A Windows program under Wine ends only when its process is killed.
            if PLATFORM == "windows":
                self.process.kill()
            else:
                self.process.terminate()
            try:
                self.process.wait(timeout=WAIT)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait(timeout=WAIT)
        self.process.stdout.close()
        self.process.stderr.close()


class SimulatorTestCase(unittest.TestCase):
    def start(self, *args, **kwargs):
        sim = Simulator(*args, **kwargs)
        self.addCleanup(sim.close)
        return sim

    def client(self, sim, index=0):
        sock = sim.connect(index)
        self.addCleanup(sock.close)
        return sock


class DeviceTest(SimulatorTestCase):
    def test_replies_on_the_wire(self):
        sim = self.start()
        sock = self.client(sim)
        cases = [
            ("NONE", message(NONE), message(NONE)),
            ("CONNECT asks", message(CONNECT), message(CONNECT, 0)),
            ("INTERVAL below 1000", message(INTERVAL, 999), message(INTERVAL, 1000)),
            ("INTERVAL set", message(INTERVAL, 1500), message(INTERVAL, 1500)),
            ("unknown type", message(7, 1), message(7)),
            ("2-byte payload asks", message(LASERPOWER, set_flag=1, payload=b"\x01\x00"),
             message(LASERPOWER, 0)),
        ]
        for name, request, expected in cases:
            with self.subTest(name):
                sock.sendall(request)
                self.assertEqual(read_reply(sock).hex(" "), expected.hex(" "))

    def test_clients_share_one_device(self):
        sim = self.start()
        clients = [self.client(sim) for _ in range(8)]
        # Every client sends before any reads: all are open at once.
        for sock in clients:
            sock.sendall(message(NONE))
        for sock in clients:
            self.assertEqual(read_reply(sock), message(NONE))
        first, second = clients[0], clients[1]
        self.assertEqual(ask(first, CONNECT, 1), 1)
        self.assertEqual(ask(second, CONNECT), 1)
        self.assertEqual(ask(second, LASERPOWER, 1), 1)
        self.assertEqual(ask(first, LASERPOWER), 1)

    def test_partial_writes(self):
        sim = self.start()
        sock = self.client(sim)
        request = message(CONNECT, 1) + message(INTERVAL, 2000)
        for i in range(len(request)):
            sock.sendall(request[i:i + 1])
            time.sleep(0.002)  # lets most bytes arrive in reads of their own
        self.assertEqual(read_reply(sock), message(CONNECT, 1))
        self.assertEqual(read_reply(sock), message(INTERVAL, 2000))

    def test_two_messages_in_one_write(self):
        sim = self.start()
        sock = self.client(sim)
        sock.sendall(message(LASERPOWER, 1) + message(NONE))
        self.assertEqual(read_reply(sock), message(LASERPOWER, 1))
        self.assertEqual(read_reply(sock), message(NONE))

    def test_framing_error_closes_only_that_client(self):
        cases = [
            ("bad magic", message(NONE, magic=0x0118), "bad magic number 0x0118"),
            ("length 1400", message(NONE, length=1400), "payload length 1400 too large"),
        ]
        for name, request, error in cases:
            with self.subTest(name):
                sim = self.start()
                good, bad = self.client(sim), self.client(sim)
                self.assertEqual(ask(good, CONNECT, 1), 1)
                bad.sendall(request)
                assert_closed_by_peer(self, bad)
                self.assertEqual(ask(good, CONNECT), 1)
                self.assertEqual(ask(self.client(sim), NONE), None)
                self.assertEqual(sim.stop(), 0)
                self.assertTrue(any(error in line for line in sim.stderr), sim.stderr)

    def test_connections_beyond_64_are_closed_at_once(self):
        sim = self.start()
        clients = [self.client(sim) for _ in range(64)]
        for sock in clients:  # each one answered: all 64 are accepted
            self.assertEqual(ask(sock, NONE), None)
        extra = self.client(sim)
        assert_closed_by_peer(self, extra)
        self.assertEqual(ask(clients[0], NONE), None)

    def test_acquisition_session_counts_frames_at_speed(self):
        # 1000 times faster: one frame per real millisecond.
        sim = self.start("--speed", "1000")
        sock = self.client(sim)
        self.assertEqual(ask(sock, CONNECT, 1), 1)
        self.assertEqual(ask(sock, ACQUISITION, 1), 1)
        counts = [ask(sock, IMAGECOUNT)]
        deadline = time.monotonic() + WAIT
        while counts[-1] < 10 and time.monotonic() < deadline:
            time.sleep(0.01)
            counts.append(ask(sock, IMAGECOUNT))
        self.assertGreaterEqual(counts[-1], 10)
        self.assertEqual(counts, sorted(counts))
        self.assertEqual(ask(sock, ACQUISITION, 0), 0)
        stopped = ask(sock, IMAGECOUNT)
        self.assertGreaterEqual(stopped, counts[-1])
        time.sleep(0.02)  # 20 frames' worth of device time
        self.assertEqual(ask(sock, IMAGECOUNT), stopped)
        self.assertEqual(ask(sock, TRIGGERCOUNT), stopped)
        # A new start begins again from 0; with the longest interval no
        # trigger can fire before the next question.
        self.assertEqual(ask(sock, INTERVAL, 2**31 - 1), 2**31 - 1)
        self.assertEqual(ask(sock, ACQUISITION, 1), 1)
        self.assertEqual(ask(sock, IMAGECOUNT), 0)


class FaultTest(SimulatorTestCase):
    def test_close(self):
        sim = self.start("--fault", "close")
        assert_closed_by_peer(self, self.client(sim))

    def test_reset(self):
        sim = self.start("--fault", "reset")
        sock = self.client(sim)
        sock.sendall(message(NONE))
        with self.assertRaises(ConnectionResetError):
            sock.recv(100)

    def test_silent(self):
        sim = self.start("--fault", "silent", "--log")
        sock = self.client(sim)
        for request in (message(CONNECT, 1), message(NONE)):
            sock.sendall(request)
            sim.wait_for_line(r" in  " + request.hex(" ").upper())
        # Both were read; neither is answered, and the connection stays open.
        sock.settimeout(0.2)
        with self.assertRaises(socket.timeout):
            sock.recv(100)
        self.assertFalse([line for line in sim.stdout if " out " in line])

    def test_garbage(self):
        sim = self.start("--fault", "garbage")
        sock = self.client(sim)
        sock.sendall(message(CONNECT, 1))
        expected = bytearray(message(CONNECT, 1))
        expected[0:2] = b"\x18\x01"
        self.assertEqual(recv_exactly(sock, 17), bytes(expected))

    def test_split(self):
        gap = 0.3
        sim = self.start("--fault", f"split={int(gap * 1000)}")
        sock = self.client(sim)
        start = time.monotonic()
        sock.sendall(message(CONNECT, 1))
        first = sock.recv(100)
        elapsed = time.monotonic() - start
        # The whole reply in one read is only possible if this client was
        # held up for the whole gap.
        if elapsed < gap:
            self.assertLess(len(first), 17)
        reply = first + recv_exactly(sock, 17 - len(first))
        self.assertEqual(reply, message(CONNECT, 1))
        self.assertGreaterEqual(time.monotonic() - start, gap)

    def test_delay_holds_no_other_client_up(self):
        delay = 0.8
        sim = self.start("--fault", f"delay={int(delay * 1000)}", "--log")
        first, second = self.client(sim), self.client(sim)
        start = time.monotonic()
        first.sendall(message(CONNECT, 1))
        sim.wait_for_line(r" in  .*CONNECT")
        # The first reply is now waiting; a simulator that waited by blocking
        # would read this request only after sending that reply.
        second.sendall(message(LASERPOWER, 1))
        sim.wait_for_line(r" in  .*LASERPOWER")
        self.assertEqual(read_reply(first), message(CONNECT, 1))
        self.assertGreaterEqual(time.monotonic() - start, delay)
        self.assertEqual(read_reply(second), message(LASERPOWER, 1))
        self.assertFalse([line for line in sim.stdout if " out " in line], "\n".join(sim.stdout))

    def test_replies_still_due_are_sent_after_the_client_finishes_sending(self):
        sim = self.start("--fault", "delay=300", "--log")
        sock = self.client(sim)
        sock.sendall(message(CONNECT, 1) + message(NONE))
        sock.shutdown(socket.SHUT_WR)
        self.assertEqual(read_reply(sock), message(CONNECT, 1))
        self.assertEqual(read_reply(sock), message(NONE))
        assert_closed_by_peer(self, sock)
        sim.wait_for_line(r" close peer closed$")

    def test_drop_after(self):
        sim = self.start("--fault", "drop-after=2")
        sock = self.client(sim)
        self.assertEqual(ask(sock, NONE), None)
        self.assertEqual(ask(sock, CONNECT, 1), 1)
        assert_closed_by_peer(self, sock)
        # Another client gets its own two replies.
        other = self.client(sim)
        self.assertEqual(ask(other, CONNECT), 1)


class LogTest(SimulatorTestCase):
    def test_logs_connections_and_messages(self):
        sim = self.start("--log")
        sock = self.client(sim)
        peer = "127.0.0.1:%d" % sock.getsockname()[1]
        self.assertEqual(ask(sock, CONNECT, 1), 1)
        sock.close()
        stamp = r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z"
        hex_connect = "01 18 00 01 02 00 00 00 00 04 00 00 00 01 00 00 00"
        expected = [
            rf"{stamp} {peer} open",
            rf"{stamp} {peer} in  {hex_connect} \| TALVO_MESSAGE_CONNECT set=1 value=1",
            rf"{stamp} {peer} out {hex_connect} \| TALVO_MESSAGE_CONNECT set=1 value=1",
            rf"{stamp} {peer} close peer closed",
        ]
        for pattern in expected:
            self.assertRegex(sim.next_line(), "^" + pattern + "$")

    def test_without_log_only_the_address_is_printed(self):
        sim = self.start()
        self.assertEqual(ask(self.client(sim), NONE), None)
        self.assertEqual(sim.stop(), 0)
        self.assertEqual(sim.process.stdout.read(), "")


class LifecycleTest(SimulatorTestCase):
    def test_stop_signals_exit_with_status_0(self):
        for sig in STOP_SIGNALS:
            with self.subTest(signal=sig.name):
                sim = self.start("--log")
                sock = self.client(sim)
                self.assertEqual(ask(sock, NONE), None)
                self.assertEqual(sim.stop(sig), 0)
                assert_closed_by_peer(self, sock)
                sim.wait_for_line(r" close shutdown$")

    def test_bad_options_exit_with_status_2(self):
        cases = [
            ["--bogus"],
            ["stray"],
            ["--fault", "nope"],
            ["--fault", "delay=abc"],
            ["--fault", "drop-after"],
            ["--speed", "0"],
            ["--listen", "localhost:2020"],
            ["--listen", "127.0.0.1:99999"],
            ["--listen"],
        ]
        for args in cases:
            with self.subTest(args=args):
                result = subprocess.run(SIM + args, capture_output=True, text=True, timeout=WAIT)
                self.assertEqual(result.returncode, 2)
                self.assertIn("Usage: talvoW6Sim", result.stderr)
                self.assertEqual(result.stdout, "")

    def test_help_prints_usage(self):
        result = subprocess.run(SIM + ["--help"], capture_output=True, text=True, timeout=WAIT)
        self.assertEqual(result.returncode, 0)
        self.assertIn("--fault", result.stdout)

    def test_address_in_use_exits_with_status_1(self):
        sim = self.start()
        result = subprocess.run(SIM + ["--listen", sim.addresses[0]], capture_output=True, text=True,
                                timeout=WAIT)
        self.assertEqual(result.returncode, 1)
        self.assertIn("bind", result.stderr)

    def test_listens_on_ipv4_and_ipv6_loopback(self):
        try:
            with socket.socket(socket.AF_INET6) as probe:
                probe.bind(("::1", 0))
        except OSError:
            self.skipTest("no IPv6 loopback on this machine")
        sim = self.start(listen=("127.0.0.1:0", "[::1]:0"))
        self.assertEqual(len(sim.addresses), 2)
        self.assertTrue(sim.addresses[1].startswith("[::1]:"))
        v4, v6 = self.client(sim, 0), self.client(sim, 1)
        self.assertEqual(ask(v4, LASERPOWER, 1), 1)
        self.assertEqual(ask(v6, LASERPOWER), 1)


if __name__ == "__main__":
    if not SIM:
        raise SystemExit("set TALVO_SIM to the simulator's path")
    unittest.main()
