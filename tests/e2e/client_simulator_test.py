"""The client in a live session with the device simulator.

Settings (environment): TALVO_CLIENT (the client) and TALVO_SIM (the
simulator), each a command split like a shell command line, and
TALVO_SIM_PLATFORM ("posix" or "windows": how the simulator is asked to stop;
Wine turns a SIGINT into the console's Ctrl-C event). The simulator runs its
clock 1000 times faster, so that the frame count advances by about one every
millisecond of real time.
"""

import os
import re
import select
import shlex
import signal
import subprocess
import time
import unittest

CLIENT = shlex.split(os.environ.get("TALVO_CLIENT", "talvoW6Client"))
SIM = shlex.split(os.environ.get("TALVO_SIM", "talvoW6Sim"))
STOP_SIGNAL = {"posix": signal.SIGTERM, "windows": signal.SIGINT}[
    os.environ.get("TALVO_SIM_PLATFORM", "posix")]
WAIT = 20.0  # bound on every wait that is expected to succeed
PROMPT = b":> "


class Session:
    """Drives the client line by line through pipes, as an operator would."""

    def __init__(self, host, port):
        self.process = subprocess.Popen(CLIENT + [host, str(port)], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE)
        self.pending = b""
        self.until_prompt()

    def until_prompt(self):
        deadline = time.monotonic() + WAIT
        while PROMPT not in self.pending:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise TimeoutError(f"no prompt after {self.pending!r}")
            ready, _, _ = select.select([self.process.stdout], [], [], remaining)
            if ready:
                chunk = os.read(self.process.stdout.fileno(), 65536)
                if not chunk:
                    raise EOFError(f"client ended after {self.pending!r}")
                self.pending += chunk
        text, _, self.pending = self.pending.partition(PROMPT)
        return text.decode("latin-1").replace("\r\n", "\n")

    def command(self, line):
        self.process.stdin.write(line.encode() + b"\n")
        self.process.stdin.flush()
        return self.until_prompt()

    def count(self, line):
        out = self.command(line)
        match = re.search(r"// Count is at (-?\d+)\.\n$", out)
        if match is None:
            raise AssertionError(f"no count in {out!r}")
        return int(match.group(1))

    def finish(self):
        out, _ = self.process.communicate(b"x\n", timeout=WAIT)
        text = (self.pending + out).decode("latin-1").replace("\r\n", "\n")
        return self.process.returncode, text


class ClientAgainstSimulator(unittest.TestCase):
    def setUp(self):
        self.sim = subprocess.Popen(SIM + ["--listen", "127.0.0.1:0", "--speed", "1000"],
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        self.addCleanup(self.stop_simulator)
        first = self.sim.stdout.readline()
        match = re.search(r"127\.0\.0\.1:(\d+)", first)
        self.assertIsNotNone(match, first)
        self.port = int(match.group(1))

    def stop_simulator(self):
        self.sim.send_signal(STOP_SIGNAL)
        try:
            self.assertEqual(self.sim.wait(timeout=WAIT), 0)
        finally:
            if self.sim.poll() is None:
                self.sim.kill()
                self.sim.wait(timeout=WAIT)
            self.sim.stdout.close()

    def wait_for_frames(self, session, above):
        deadline = time.monotonic() + WAIT
        while time.monotonic() < deadline:
            time.sleep(0.02)
            count = session.count("fc")
            if count > above:
                return count
        self.fail(f"frame count stayed at {above}")

    def test_acquisition_session(self):
        s = Session("127.0.0.1", self.port)
        self.assertIn("// Camera NOT Logging.", s.command("a1"))  # no camera yet
        self.assertIn("// Camera Connected.", s.command("c1"))
        self.assertIn("// Lasers on.", s.command("l1"))
        self.assertIn("// Camera Logging.", s.command("a1"))
        first = s.count("fc")
        second = self.wait_for_frames(s, first)
        self.assertGreaterEqual(s.count("tc"), second)
        self.assertIn("// Period is 2000 ms.", s.command("i2000"))
        self.assertIn("invalid interval", s.command("i500"))
        self.assertIn("// Period is 2000 ms.", s.command("i"))
        self.assertIn("// Camera NOT Logging.", s.command("a0"))
        stopped = s.count("fc")
        time.sleep(0.05)
        self.assertEqual(s.count("fc"), stopped)
        self.assertIn("// Camera NOT Connected.", s.command("c0"))
        self.assertIn("received TALVO_MESSAGE_NONE", s.command("n"))
        status, out = s.finish()
        self.assertEqual(out, "Client Connection Closed, Press Any Key to Exit...\n")
        self.assertEqual(status, 0)

    def test_two_clients_share_one_device(self):
        first = Session("127.0.0.1", self.port)
        second = Session("127.0.0.1", self.port)
        self.assertIn("// Camera Connected.", first.command("c1"))
        self.assertIn("// Camera Connected.", second.command("c"))
        self.assertIn("// Period is 4000 ms.", second.command("i4000"))
        self.assertIn("// Period is 4000 ms.", first.command("i"))
        for session in (first, second):
            self.assertEqual(session.finish()[0], 0)


if __name__ == "__main__":
    unittest.main()
