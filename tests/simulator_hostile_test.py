#!/usr/bin/env python3
"""Hostile clients against the built simulator, over loopback.

Each hostile client runs beside a well-behaved one, which must keep getting
correct replies throughout. The simulator's path comes from TALVO_SIM; the
helpers are those of the process tests. Every wait is bounded.
"""

import os
import select
import socket
import struct
import sys
import threading
import time
import unittest
from unittest import mock

from simulator_process_test import (
    CONNECT, INTERVAL, LASERPOWER, NONE, SIM, WAIT, SimulatorTestCase, assert_closed_by_peer,
    ask, message, read_reply)

# A client that never reads may push this much at most before the simulator
# stops taking its bytes; loopback's socket buffers hold a few tens of MB.
HOG_LIMIT = 128 * 2**20
# The simulator's resident memory may grow by this much under all the hostile
# load (it grows by far less; without a bound on unsent replies, a client
# that never reads makes it grow by more than HOG_LIMIT).
MEMORY_GROWTH_LIMIT = 48 * 2**20


def memory_kib(pid):
    """VmRSS and VmHWM of process `pid`, in KiB."""
    fields = {}
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            name, _, value = line.partition(":")
            if name in ("VmRSS", "VmHWM"):
                fields[name] = int(value.split()[0])
    return fields["VmRSS"], fields["VmHWM"]


class WellBehavedClient:
    """Switches the lasers back and forth and checks every answer."""

    def __init__(self, test, sim):
        self.test = test
        self.sock = test.client(sim)
        self.lasers = 0

    def check(self):
        self.lasers ^= 1
        self.test.assertEqual(ask(self.sock, LASERPOWER, self.lasers), self.lasers)
        self.test.assertEqual(ask(self.sock, NONE), None)


# Each load is run by a test of its own and, all together, by the memory test.

def header_one_byte_at_a_time(test, sim, good):
    sock = test.client(sim)
    request = message(INTERVAL, 1500)
    for i in range(len(request)):
        sock.sendall(request[i:i + 1])
        good.check()  # served while this header is incomplete
    test.assertEqual(read_reply(sock), message(INTERVAL, 1500))
    test.assertEqual(ask(good.sock, INTERVAL), 1500)
    sock.close()


def framing_errors(test, sim, good):
    cases = [
        ("length 4 GiB", message(NONE, length=0xFFFFFFFF), "payload length 4294967295 too large"),
        # Only the two bytes of the magic number: no need to wait for a header.
        ("wrong magic", b"\x18\x01", "bad magic number 0x0118"),
        ("wrong magic after a message", message(CONNECT, 1) + message(NONE, magic=0xFFFF),
         "bad magic number 0xffff"),
    ]
    for name, request, error in cases:
        with test.subTest(name):
            errors_before = len(sim.stderr)
            sock = test.client(sim)
            sock.sendall(request)
            if request.startswith(message(CONNECT, 1)):
                test.assertEqual(read_reply(sock), message(CONNECT, 1))
            assert_closed_by_peer(test, sock)
            sock.close()
            good.check()
            deadline = time.monotonic() + WAIT
            while time.monotonic() < deadline:
                if any(error in line for line in sim.stderr[errors_before:]):
                    break
                time.sleep(0.01)
            test.assertTrue(any(error in line for line in sim.stderr[errors_before:]), sim.stderr)


def connection_storm(test, sim, good):
    """200 connections opened at once, then dropped: half closed, half reset."""
    socks = [socket.create_connection(("127.0.0.1", sim.port()), timeout=WAIT) for _ in range(200)]
    for i, sock in enumerate(socks):
        if i % 2:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        sock.close()
    good.check()
    # Every slot has come free again: 63 more clients beside the good one.
    deadline = time.monotonic() + WAIT
    while True:
        others = [test.client(sim) for _ in range(63)]
        try:
            for sock in others:
                test.assertEqual(ask(sock, NONE), None)
            break
        except (EOFError, ConnectionError):
            # Some dropped connections were not yet seen to be closed.
            test.assertLess(time.monotonic(), deadline, "connection slots not freed")
            time.sleep(0.05)
        finally:
            for sock in others:
                sock.close()
    good.check()


def never_reads(test, sim, good):
    """A client that sends requests and reads none of its replies."""
    hog = test.client(sim)
    hog.setblocking(False)
    request = message(CONNECT)  # 13 bytes in, 17 bytes out
    chunk = request * 5000
    sent = 0
    sends = 0
    pushed_back = False
    while sent < HOG_LIMIT:
        _, writable, _ = select.select([], [hog], [], 2.0)
        if not writable:
            pushed_back = True
            break
        try:
            sent += hog.send(chunk[sent % len(chunk):])
        except BlockingIOError:
            continue
        sends += 1
        if sends % 20 == 0:
            good.check()  # served while the other one floods
    test.assertTrue(pushed_back, f"the simulator took {sent} bytes from a client that never reads")
    good.check()
    with sim.connect() as newcomer:
        test.assertEqual(ask(newcomer, NONE), None)

    # Once it reads, it gets every reply, in order, and is served again.
    whole, part = divmod(sent, len(request))
    replies = whole + (part > 0)
    hog.setblocking(True)
    hog.settimeout(WAIT)
    received = bytearray()

    def read_replies():
        while len(received) < replies * 17:
            chunk = hog.recv(1 << 20)
            if not chunk:
                break
            received.extend(chunk)

    reader = threading.Thread(target=read_replies, daemon=True)
    reader.start()
    if part:
        hog.sendall(request[part:])
    reader.join(timeout=60)
    test.assertFalse(reader.is_alive(), "replies did not come")
    expected = message(CONNECT, int(ask(good.sock, CONNECT)))
    test.assertEqual(len(received), replies * 17)
    test.assertEqual(bytes(received), expected * replies)
    test.assertEqual(ask(hog, LASERPOWER), good.lasers)
    hog.close()
    return sent


class HostileClientTest(SimulatorTestCase):
    def setUp(self):
        self.sim = self.start()
        self.good = WellBehavedClient(self, self.sim)
        self.good.check()

    def test_header_one_byte_at_a_time(self):
        header_one_byte_at_a_time(self, self.sim, self.good)

    def test_framing_errors_close_only_that_client(self):
        framing_errors(self, self.sim, self.good)

    def test_200_connections_opened_and_dropped(self):
        connection_storm(self, self.sim, self.good)

    def test_client_that_never_reads_is_pushed_back(self):
        never_reads(self, self.sim, self.good)


class MemoryTest(SimulatorTestCase):
    def test_memory_stays_bounded_under_hostile_load(self):
        # A sanitizer build holds freed memory back (256 MB by default) to
        # catch late uses; with a small quarantine the figure is the
        # simulator's own.
        asan = [os.environ.get("ASAN_OPTIONS", ""), "quarantine_size_mb=1"]
        with mock.patch.dict(os.environ, {"ASAN_OPTIONS": ":".join(filter(None, asan))}):
            sim = self.start()
        good = WellBehavedClient(self, sim)
        good.check()
        rss_before, hwm_before = memory_kib(sim.process.pid)
        sent = 0
        for _ in range(3):
            header_one_byte_at_a_time(self, sim, good)
            framing_errors(self, sim, good)
            connection_storm(self, sim, good)
            sent += never_reads(self, sim, good)
        rss_after, hwm_after = memory_kib(sim.process.pid)
        print(f"\nsimulator memory: VmRSS {rss_before} KiB -> {rss_after} KiB, "
              f"VmHWM {hwm_before} KiB -> {hwm_after} KiB; "
              f"{sent / 2**20:.1f} MiB from clients that never read",
              file=sys.stderr)
        self.assertLess((hwm_after - rss_before) * 1024, MEMORY_GROWTH_LIMIT)
        good.check()
        self.assertEqual(sim.stop(), 0)


if __name__ == "__main__":
    if not SIM:
        raise SystemExit("set TALVO_SIM to the simulator's path")
    unittest.main()
