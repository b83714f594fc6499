"""End-to-end tests: the built client as a child process against loopback servers.

Settings (environment):
  TALVO_CLIENT           command that starts the client (split like a shell
                         command line); the server address and port follow it
  TALVO_CLIENT_PLATFORM  "posix" (default) or "windows": which line ends and
                         socket error codes the client's platform produces
"""

import os
import re
import shlex
import socket
import subprocess
import unittest

from scripted_server import CLOSE, RESET, ScriptedServer, echo_state, message

CLIENT = shlex.split(os.environ.get("TALVO_CLIENT", "talvoW6Client"))
PLATFORM = os.environ.get("TALVO_CLIENT_PLATFORM", "posix")
TIMEOUT = 60

# Error codes that each platform may print for the failures provoked here.
CODES = {
    "posix": {
        "broken": {32, 104},         # EPIPE, ECONNRESET
        "torn_down": {9},            # EBADF: the socket is gone after a failed send
        "not_connected": {107, 9},   # ENOTCONN, EBADF
        "unresolved": {-2, -5, -8},  # EAI_NONAME, EAI_NODATA, EAI_SERVICE
    },
    "windows": {
        "broken": {10053, 10054},
        "torn_down": {10038, 10093},  # WSAENOTSOCK, WSANOTINITIALISED
        "not_connected": {10057, 10038, 10093, 10054, 10053},
        "unresolved": {11001, 11004, 10109},
    },
}[PLATFORM]

PROMPT = ":> "
CLOSING = "Client Connection Closed, Press Any Key to Exit...\n"
SELF = "processTalvoMessage(): "
HELP = (
    "COMMANDS\n"
    "--------------------------------------\t\n"
    "n\t\t- Send NONE message to test comms\t\n"
    "c[0,1] - Tell System to Connect\t\t\n"
    "a[0,1] - start acquisition\t\t\t\t\n"
    "l[0,1] - turn off/on lasers            \n"
    "i[X]   - set interval to X milliseconds\n"
    "tc     - retrieve trigger count\t\t\n"
    "fc     - retrieve frame count\t\t\t\n"
    "s - Get all status\t\t\t\t\t\t\n"
    "x - Exit program\t\t\t\t\t\t\n"
    "--------------------------------------\t\n"
)
USAGE = (
    "talvoW6Client.exe [serverip] [serverport]\t\t\t\t\t\n"
    "-------------------------------------------\t\t\t\t\n"
    "This client code does single message interaction with\t\t\n"
    "the tcp server running autonomous acquisition code for a\t\n"
    "Talvo W6 camera.\t\t\t\t\t\t\t\t\t\t\t\n"
)


def run_client(args, stdin=b""):
    """Runs the client to its end; returns (exit status, standard output)."""
    done = subprocess.run(CLIENT + [str(a) for a in args], input=stdin, stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=TIMEOUT)
    out = done.stdout.decode("latin-1")
    if PLATFORM == "windows":
        # Text-mode output ends every line with a carriage return and line feed.
        bare = re.search(r"(?<!\r)\n", out)
        assert bare is None, f"line feed without carriage return in {out!r}"
        out = out.replace("\r\n", "\n")
    return done.returncode, out


def exchange(announcement, *report):
    return f"Sending Message {announcement}\nwaiting for reply...\n" + "".join(report)


def free_port():
    """A loopback port on which nothing listens."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class FullSession(unittest.TestCase):
    def test_every_command_goes_out_exact_and_its_reply_is_reported(self):
        replies = {
            0: message(0),
            2: message(2, 1, 1),
            4: message(4, 1, 0),
            5: message(5, 1, 1),
            6: message(6, 1, 2500),
            9: message(9, 1, 321),
            10: message(10, 1, 654),
        }

        def handler(request):
            return replies[request[4]]

        lines = ["n", "c1", "c", "a0", "l1", "c5", "i2500", "i", "fc", "tc", "s", "c0", "x"]
        with ScriptedServer(handler) as server:
            status, out = run_client([server.host, server.port],
                                     ("\n".join(lines) + "\nq").encode())
        expected_wire = [
            message(0), message(2, 1, 1), message(2), message(4, 1, 0), message(5, 1, 1),
            message(6, 1, 2500), message(6), message(9), message(10), message(2, 1, 0),
        ]
        self.assertEqual(server.messages, expected_wire)
        connect = exchange("CONNECT", "Got Message this long: 17\n",
                           SELF + "received TALVO_MESSAGE_CONNECT // Camera Connected.\n")
        interval = exchange("INTERVAL", "Got Message this long: 17\n",
                            SELF + "received TALVO_MESSAGE_INTERVAL // Period is 2500 ms.\n")
        expected_out = PROMPT.join([
            "",
            exchange("NONE", "Got Message this long: 13\n", SELF + "received TALVO_MESSAGE_NONE\n"),
            connect,
            connect,
            exchange("ACQUISITION", "Got Message this long: 17\n",
                     SELF + "received TALVO_MESSAGE_ACQUISITION // Camera NOT Logging.\n"),
            exchange("LASERPOWER", "Got Message this long: 17\n",
                     SELF + "received TALVO_MESSAGE_LASERPOWER // Lasers on.\n"),
            "Sending Message CONNECT\ninvalid input\n",
            interval,
            interval,
            exchange("IMAGECOUNT", "Got Message this long: 17\n",
                     SELF + "received TALVO_MESSAGE_IMAGECOUNT // Count is at 321.\n"),
            exchange("TRIGGERCOUNT", "Got Message this long: 17\n",
                     SELF + "received TALVO_MESSAGE_TRIGGERCOUNT // Count is at 654.\n"),
            "Unknown Command.\n" + HELP,
            connect,
            CLOSING,
        ])
        self.assertEqual(out, expected_out)
        self.assertEqual(status, 0)

    def test_rejected_input_sends_nothing_and_waits_for_nothing(self):
        # The server answers only the last message; a wrongly sent rejected
        # command would leave the client waiting for a reply that never comes.
        with ScriptedServer(lambda r: message(4, 1, 1)) as server:
            status, out = run_client([server.host, server.port],
                                     b"c5\ni999\nl10\nC1\n\na1\nx\n")
        self.assertEqual(server.messages, [message(4, 1, 1)])
        self.assertEqual(out, PROMPT.join([
            "",
            "Sending Message CONNECT\ninvalid input\n",
            "Sending Message INTERVAL\ninvalid interval given, must be 1000 or greater.",
            "Sending Message LASERPOWER\n",
            "Unknown Command.\n" + HELP,
            "Unknown Command.\n" + HELP,
            exchange("ACQUISITION", "Got Message this long: 17\n",
                     SELF + "received TALVO_MESSAGE_ACQUISITION // Camera Logging.\n"),
            CLOSING,
        ]))
        self.assertEqual(status, 0)

    def test_malformed_and_short_replies(self):
        # A reply shorter than the value it should carry reads its missing
        # bytes as zero, not as what an earlier reply left behind.
        answers = iter([message(9, 1, 77), message(9, length=0), b"\x18\x01" + bytes(15)])
        with ScriptedServer(lambda r: next(answers)) as server:
            status, out = run_client([server.host, server.port], b"fc\nfc\nfc\nx\n")
        count = "received TALVO_MESSAGE_IMAGECOUNT // Count is at "
        self.assertEqual(out, PROMPT.join([
            "",
            exchange("IMAGECOUNT", "Got Message this long: 17\n", SELF + count + "77.\n"),
            exchange("IMAGECOUNT", "Got Message this long: 13\n", SELF + count + "0.\n"),
            exchange("IMAGECOUNT", SELF + "ERROR, Malformed message received.\n"),
            CLOSING,
        ]))
        self.assertEqual(status, 0)


class ConsoleInput(unittest.TestCase):
    def session(self, stdin):
        with ScriptedServer() as server:
            status, out = run_client([server.host, server.port], stdin)
        return server.messages, status, out

    def test_end_of_input_ends_the_run_like_exit(self):
        for stdin in (b"", b"n\n", b"n"):
            with self.subTest(stdin=stdin):
                sent, status, out = self.session(stdin)
                self.assertEqual(sent, [message(0)] * len(stdin[:1]))
                self.assertTrue(out.endswith(PROMPT + CLOSING), out)
                self.assertEqual(out.count(PROMPT), len(sent) + 1)
                self.assertEqual(status, 0)

    def test_carriage_return_before_line_feed_is_dropped(self):
        sent, status, out = self.session(b"c1\r\nl0\r\nx\r\n")
        self.assertEqual(sent, [message(2, 1, 1), message(5, 1, 0)])
        self.assertNotIn("invalid input", out)
        self.assertEqual(status, 0)


class Arguments(unittest.TestCase):
    def test_other_argument_counts_use_the_defaults(self):
        try:
            server = ScriptedServer(lambda r: message(0), port=2020)
        except OSError:
            self.skipTest("port 2020 is in use on this machine")
        with server:
            for args, count in (([], 1), (["10.0.0.1"], 2), (["10.0.0.1", "9", "x"], 4)):
                with self.subTest(args=args):
                    status, out = run_client(args, b"n\nx\n")
                    self.assertEqual(out, f"Not enough input arguments ({count})\n" + USAGE + PROMPT
                                     + exchange("NONE", "Got Message this long: 13\n",
                                                SELF + "received TALVO_MESSAGE_NONE\n")
                                     + PROMPT + CLOSING)
                    self.assertEqual(status, 0)
        self.assertEqual(server.messages, [message(0)] * 3)

    def test_over_long_arguments_are_refused_before_connecting(self):
        with ScriptedServer() as server:
            port = str(server.port)
            for args, error in (
                    (["1" * 32, port], "main(): ERROR Server address is longer than 31 characters\n"),
                    (["127.0.0.1", port.zfill(8)],
                     "main(): ERROR Server port is longer than 7 characters\n"),
            ):
                with self.subTest(args=args):
                    status, out = run_client(args, b"x\n")
                    self.assertEqual(out, error)
                    self.assertEqual(status, 1)
            self.assertEqual(server.connections, 0)
            # The longest port text that fits is used as it is.
            status, out = run_client(["127.0.0.1", port.zfill(7)], b"n\nx\n")
            self.assertEqual(status, 0)
            self.assertEqual(server.messages, [message(0)])

    def test_a_host_name_is_resolved(self):
        with ScriptedServer() as server:
            status, out = run_client(["localhost", server.port], b"n\nx\n")
        self.assertEqual(server.messages, [message(0)])
        self.assertEqual(status, 0)


class ConnectionFailures(unittest.TestCase):
    def codes(self, pattern, out):
        match = re.fullmatch(pattern, out)
        self.assertIsNotNone(match, out)
        return [int(c) for c in match.groups()]

    def test_connection_refused(self):
        port = free_port()
        status, out = run_client(["127.0.0.1", port])
        self.assertEqual(out, "Unable to connect to server!\n"
                              f"main(): ERROR Cannot connect to server at 127.0.0.1:{port}\n")
        self.assertEqual(status, 1)

    def test_unresolvable_names(self):
        for host, port in (("..invalid", "2020"), ("127.0.0.1", "zzqx")):
            with self.subTest(host=host, port=port):
                status, out = run_client([host, port])
                [code] = self.codes(
                    r"getaddrinfo failed: (-?\d+)\n"
                    + re.escape(f"main(): ERROR Cannot connect to server at {host}:{port}\n"), out)
                self.assertIn(code, CODES["unresolved"])
                self.assertEqual(status, 1)

    def test_server_that_closes_after_accept(self):
        # Each command fails to receive, or to send once the platform has
        # seen the connection break; the client never stops early.
        with ScriptedServer(on_accept=CLOSE) as server:
            status, out = run_client([server.host, server.port], b"n\nn\nn\nn\nx\n")
        attempts = out.split(PROMPT)
        self.assertEqual(attempts[0], "")
        self.assertTrue(attempts[-1].startswith(CLOSING) or "shutdown failed" in attempts[-1])
        for attempt in attempts[1:5]:
            self.assertRegex(attempt, r"^Sending Message NONE\n(waiting for reply\.\.\.\n"
                             r"failed to receive\.\n|send failed: -?\d+\n"
                             r"(shutdown failed: -?\d+\n)?failed to send\n)$")
        self.assertEqual(status, 0)

    def test_reset_mid_session_then_every_send_fails_until_exit(self):
        answers = iter([message(2, 1, 1), RESET])
        with ScriptedServer(lambda r: next(answers)) as server:
            status, out = run_client([server.host, server.port], b"c1\nn\nn\nfc\nx\n")
        pattern = re.escape(PROMPT + exchange(
            "CONNECT", "Got Message this long: 17\n",
            SELF + "received TALVO_MESSAGE_CONNECT // Camera Connected.\n")) + (
            re.escape(PROMPT + "Sending Message NONE\nwaiting for reply...\nfailed to receive.\n")
            + re.escape(PROMPT + "Sending Message NONE\n")
            + r"send failed: (-?\d+)\n(?:shutdown failed: (-?\d+)\n)?failed to send\n"
            + re.escape(PROMPT + "Sending Message IMAGECOUNT\n")
            + r"send failed: (-?\d+)\nshutdown failed: (-?\d+)\nfailed to send\n"
            + re.escape(PROMPT) + r"shutdown failed: (-?\d+)\n" + re.escape(CLOSING))
        broken, first_shutdown, after, after_shutdown, final_shutdown = (
            re.fullmatch(pattern, out) or self.fail(out)).groups()
        self.assertIn(int(broken), CODES["broken"])
        if first_shutdown is not None:
            self.assertIn(int(first_shutdown), CODES["not_connected"])
        for code in (after, after_shutdown, final_shutdown):
            self.assertIn(int(code), CODES["torn_down"])
        self.assertEqual(server.messages, [message(2, 1, 1), message(0)])
        self.assertEqual(status, 0)


if __name__ == "__main__":
    unittest.main()
