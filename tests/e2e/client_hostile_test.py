"""The client against hostile servers and hostile console input.

Every case must end with the expected lines, no crash, no hang and the right
exit status. Settings as in client_e2e_test.
"""

import time
import unittest

from client_e2e_test import CLOSING, HELP, PROMPT, SELF, exchange, run_client
from scripted_server import CLOSE, ScriptedServer, message

MALFORMED = SELF + "ERROR, Malformed message received.\n"
CONNECTED = exchange("CONNECT", "Got Message this long: 17\n",
                     SELF + "received TALVO_MESSAGE_CONNECT // Camera Connected.\n")


class SplitServer(ScriptedServer):
    """Sends each reply in two pieces, the second a moment after the first."""

    def __init__(self, first_piece):
        super().__init__(self._split)
        self.first_piece = first_piece
        self._conn = None

    def _talk(self, conn):
        self._conn = conn
        super()._talk(conn)

    def _split(self, request):
        reply = message(2, 1, 1)
        self._conn.sendall(reply[:self.first_piece])
        time.sleep(0.2)
        return reply[self.first_piece:]


class HostileServers(unittest.TestCase):
    def test_flood_is_read_one_receive_per_command(self):
        flood = message(2, 1, 1) + b"\xAA" * (1 << 20)
        answers = iter([flood, None, None])
        with ScriptedServer(lambda r: next(answers)) as server:
            status, out = run_client([server.host, server.port], b"c1\nn\nn\nx\n")
        self.assertEqual(out, PROMPT.join([
            "", CONNECTED, exchange("NONE", MALFORMED), exchange("NONE", MALFORMED), CLOSING]))
        self.assertEqual(status, 0)

    def test_garbage_replies_are_malformed(self):
        garbage = iter([bytes(range(256)) * 2, b"\xff", b"\x01", b"\x18\x01" * 100])
        with ScriptedServer(lambda r: next(garbage)) as server:
            status, out = run_client([server.host, server.port], b"n\nn\nn\nn\nx\n")
        self.assertEqual(out, PROMPT.join([""] + [exchange("NONE", MALFORMED)] * 4 + [CLOSING]))
        self.assertEqual(status, 0)

    def test_split_reply_is_seen_in_its_first_piece_and_the_rest_comes_next(self):
        with SplitServer(first_piece=5) as server:
            status, out = run_client([server.host, server.port], b"c1\nc1\nx\n")
        # The first piece is the magic, a reserved byte, the set flag and the
        # type's low byte: a CONNECT of length 13 whose missing value reads 0.
        first = exchange("CONNECT", "Got Message this long: 13\n",
                         SELF + "received TALVO_MESSAGE_CONNECT // Camera NOT Connected.\n")
        self.assertEqual(out, PROMPT.join(["", first, exchange("CONNECT", MALFORMED), CLOSING]))
        self.assertEqual(status, 0)

    def test_server_that_dies_between_commands(self):
        answers = iter([message(2, 1, 1), CLOSE])
        with ScriptedServer(lambda r: next(answers)) as server:
            status, out = run_client([server.host, server.port], b"c1\nn\nn\nn\nx\n")
        attempts = out.split(PROMPT)
        self.assertEqual(attempts[1], CONNECTED)
        self.assertEqual(attempts[2], exchange("NONE", "failed to receive.\n"))
        for attempt in attempts[3:5]:
            self.assertRegex(attempt, r"^Sending Message NONE\n(waiting for reply\.\.\.\n"
                             r"failed to receive\.\n|send failed: -?\d+\n"
                             r"(shutdown failed: -?\d+\n)?failed to send\n)$")
        self.assertTrue(attempts[5].endswith(CLOSING))
        self.assertEqual(status, 0)


class HostileInput(unittest.TestCase):
    def session(self, stdin):
        with ScriptedServer(lambda r: message(r[4], 1, 1)) as server:
            status, out = run_client([server.host, server.port], stdin)
        return server.messages, status, out

    def test_megabyte_lines(self):
        big = 1 << 20
        sent, status, out = self.session(
            b"n" + b"a" * big + b"\n" + b"c" + b"1" * big + b"\n" + b"i" + b"9" * big + b"\nx\n")
        self.assertEqual(sent, [message(0), message(6, 1, 2147483647)])
        self.assertIn(PROMPT + "Sending Message CONNECT\n" + PROMPT, out)
        self.assertEqual(status, 0)

    def test_nul_and_binary_bytes(self):
        sent, status, out = self.session(
            b"c\x001\n\x00x\nn\x00\xff\n\xff\xfe\n\x80c1\nl\x00\na\x01\nx\n")
        self.assertEqual(sent, [message(0)])
        self.assertEqual(out.count("Unknown Command.\n" + HELP), 3)
        self.assertEqual(out.count("invalid input\n"), 2)
        self.assertEqual(status, 0)

    def test_thousands_of_empty_lines(self):
        sent, status, out = self.session(b"\n" * 5000 + b"n\nx\n")
        self.assertEqual(sent, [message(0)])
        self.assertEqual(out.count("Unknown Command.\n"), 5000)
        self.assertTrue(out.endswith(PROMPT + CLOSING))
        self.assertEqual(status, 0)

    def test_end_of_input_in_mid_session(self):
        sent, status, out = self.session(b"c1\na1\nfc")
        self.assertEqual(sent, [message(2, 1, 1), message(4, 1, 1), message(9)])
        self.assertTrue(out.endswith(PROMPT + CLOSING))
        self.assertEqual(status, 0)


if __name__ == "__main__":
    unittest.main()
