"""A whole client session under Valgrind's memcheck: no memory errors, no leaks.

The session uses every command, a rejected one, an unknown one, a malformed
reply and a send that fails after the server resets the connection.

Settings (environment): TALVO_CLIENT, the client executable.
"""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

from scripted_server import RESET, ScriptedServer, message

CLIENT = os.environ.get("TALVO_CLIENT", "talvoW6Client")


class Memcheck(unittest.TestCase):
    @unittest.skipUnless(shutil.which("valgrind"), "valgrind is not installed")
    def test_session_has_no_memory_errors_and_no_leaks(self):
        replies = iter([message(0), message(2, 1, 1), message(4, 1, 1), message(5, 1, 0),
                        message(6, 1, 1500), message(6, 1, 1500), message(9, 1, 12),
                        message(10, 1, 34), b"\x18\x01" + bytes(15), RESET])
        commands = b"n\nc1\na1\nl0\ni1500\ni\nfc\ntc\nc7\ns\nn\nn\nn\nx\n"
        with tempfile.TemporaryDirectory() as tmp, \
                ScriptedServer(lambda r: next(replies)) as server:
            log = os.path.join(tmp, "memcheck.log")
            done = subprocess.run(
                ["valgrind", "--tool=memcheck", "--leak-check=full", "--show-leak-kinds=all",
                 "--errors-for-leak-kinds=all", "--error-exitcode=99", f"--log-file={log}",
                 CLIENT, server.host, str(server.port)],
                input=commands, stdout=subprocess.PIPE, timeout=300)
            report = open(log).read()
        out = done.stdout.decode("latin-1")
        self.assertEqual(done.returncode, 0, report)
        self.assertIn("ERROR, Malformed message received.", out)
        self.assertIn("failed to receive.", out)
        self.assertIn("failed to send", out)
        self.assertTrue(out.endswith("Client Connection Closed, Press Any Key to Exit...\n"))
        self.assertRegex(report, r"ERROR SUMMARY: 0 errors")
        self.assertTrue(re.search(r"All heap blocks were freed", report)
                        or re.search(r"in use at exit: 0 bytes", report), report)


if __name__ == "__main__":
    unittest.main()
