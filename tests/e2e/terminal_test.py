"""The built client in a real terminal: a pane of a private tmux server.

A small shell script runs in the pane: it records the terminal's settings
(`stty -g`), starts the client, and when the client has ended records its exit
status and the settings again. The test types into the pane and reads the
screen back.

Settings (environment):
  TALVO_CLIENT  path of the client
"""

import os
import shutil
import signal
import socket
import subprocess
import tempfile
import time
import unittest

from scripted_server import ScriptedServer, message

CLIENT = os.environ.get("TALVO_CLIENT", "talvoW6Client")
WAIT = 20  # seconds: the longest any one thing on the screen may take
# Run from inside another tmux session too, the private server stays separate.
TMUX_ENVIRONMENT = {name: value for name, value in os.environ.items() if name != "TMUX"}
CLOSING = "Client Connection Closed, Press Any Key to Exit..."

RUN_SCRIPT = """\
cd "$(dirname "$0")"
trap : INT
stty -g > before
sh -c 'echo $$ > pid; exec "$@"' client "$@"
status=$?
stty -g > after
echo $status > status.part && mv status.part status
"""


def free_port():
    """A loopback port on which nothing listens."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Pane:
    """The client running in a tmux pane, with what the run script recorded."""

    def __init__(self, test, args):
        self.test = test
        self.dir = tempfile.mkdtemp(prefix="talvo-terminal-")
        self.tmux = ["tmux", "-S", os.path.join(self.dir, "tmux.socket"), "-f", "/dev/null"]
        script = os.path.join(self.dir, "run.sh")
        with open(script, "w") as f:
            f.write(RUN_SCRIPT)
        self.run("new-session", "-d", "-x", "120", "-y", "50", "-s", "client",
                 "sh", script, CLIENT, *[str(a) for a in args],
                 ";", "set-option", "-t", "client", "remain-on-exit", "on")

    def close(self):
        subprocess.run(self.tmux + ["kill-server"], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, env=TMUX_ENVIRONMENT, timeout=WAIT)
        shutil.rmtree(self.dir, ignore_errors=True)

    def run(self, *args):
        return subprocess.run(self.tmux + list(args), check=True, stdout=subprocess.PIPE,
                              env=TMUX_ENVIRONMENT, timeout=WAIT).stdout.decode()

    def keys(self, *keys):
        self.run("send-keys", "-t", "client", *keys)

    def type(self, text):
        self.run("send-keys", "-t", "client", "-l", text)

    def lines(self):
        """Every line the pane has shown, without trailing blank lines and
        without the line that tmux adds when the run script has ended."""
        text = self.run("capture-pane", "-p", "-J", "-S", "-", "-t", "client")
        lines = [line.rstrip() for line in text.split("\n")
                 if not line.startswith("Pane is dead")]
        while lines and not lines[-1]:
            lines.pop()
        return lines

    def recorded(self, name):
        try:
            with open(os.path.join(self.dir, name)) as f:
                return f.read().strip()
        except FileNotFoundError:
            return None

    def until(self, what, check):
        deadline = time.monotonic() + WAIT
        while not (result := check()):
            if time.monotonic() > deadline:
                self.test.fail(f"no {what} within {WAIT} s; the pane shows:\n"
                               + "\n".join(self.lines()))
            time.sleep(0.05)
        return result

    def until_last_line(self, expected):
        self.until(f"last line {expected!r}", lambda: (self.lines() or [""])[-1] == expected)

    def prompts(self):
        return [line for line in self.lines() if line.startswith(":>")]

    def command(self, text):
        """Enters `text` and waits until the next prompt is shown."""
        count = len(self.prompts())
        self.type(text)
        self.keys("Enter")
        self.until("next prompt", lambda: len(self.prompts()) == count + 1
                   and self.lines()[-1] == ":>")

    def exit_status(self):
        """The client's exit status, once the run script has recorded it."""
        return int(self.until("exit status", lambda: self.recorded("status")))


class Terminal(unittest.TestCase):
    def pane(self, args):
        pane = Pane(self, args)
        self.addCleanup(pane.close)
        return pane

    def assert_settings_kept(self, pane):
        before, after = pane.recorded("before"), pane.recorded("after")
        self.assertTrue(before)
        self.assertEqual(after, before)

    def test_editing_recall_and_a_single_key_to_exit(self):
        with ScriptedServer() as server:
            pane = self.pane([server.host, server.port])
            pane.until_last_line(":>")
            pane.command("c1")
            pane.command("fc")
            pane.command("")  # an empty line is not recalled
            pane.keys("Up", "Up")
            pane.until_last_line(":> c1")
            pane.keys("Down")
            pane.until_last_line(":> fc")
            pane.keys("Up")
            pane.until_last_line(":> c1")
            # Cursor left over the 1, delete the c before it, put l there.
            pane.keys("Left", "BSpace")
            pane.type("l")
            pane.until_last_line(":> l1")
            pane.keys("Enter")
            pane.until("next prompt", lambda: len(pane.prompts()) == 5)
            pane.command("fc")
            pane.type("x")
            pane.keys("Enter")
            pane.until_last_line(CLOSING)
            self.assertIsNone(pane.recorded("status"))
            pane.keys("q")  # no Enter
            self.assertEqual(pane.exit_status(), 0)
        lines = pane.lines()
        self.assertEqual(pane.prompts(), [":> c1", ":> fc", ":>", ":> l1", ":> fc", ":> x"])
        self.assertEqual([line for line in lines if line.startswith("processTalvoMessage")], [
            "processTalvoMessage(): received TALVO_MESSAGE_CONNECT // Camera Connected.",
            "processTalvoMessage(): received TALVO_MESSAGE_IMAGECOUNT // Count is at 1.",
            "processTalvoMessage(): received TALVO_MESSAGE_LASERPOWER // Lasers on.",
            "processTalvoMessage(): received TALVO_MESSAGE_IMAGECOUNT // Count is at 1.",
        ])
        # The key is not echoed: nothing follows the closing line.
        self.assertEqual(lines[-1], CLOSING)
        self.assertEqual(server.messages,
                         [message(2, 1, 1), message(9), message(5, 1, 1), message(9)])
        self.assert_settings_kept(pane)

    def test_every_way_out_of_the_key_wait_leaves_the_terminal_as_found(self):
        def key(pane):
            pane.keys("k")

        def interrupt(pane):
            pane.keys("C-c")

        def kill_with(signum):
            return lambda pane: os.kill(int(pane.recorded("pid")), signum)

        for name, end, status in (
                ("a key", key, 0),
                ("Ctrl-C", interrupt, 128 + signal.SIGINT),
                ("SIGTERM", kill_with(signal.SIGTERM), 128 + signal.SIGTERM),
                ("SIGHUP", kill_with(signal.SIGHUP), 128 + signal.SIGHUP),
        ):
            with self.subTest(end=name), ScriptedServer() as server:
                pane = self.pane([server.host, server.port])
                pane.until_last_line(":>")
                pane.keys("C-d")  # end of input on an empty line ends the session
                pane.until_last_line(CLOSING)
                end(pane)
                self.assertEqual(pane.exit_status(), status)
                # The closing line starts a line of its own after the prompt.
                lines = pane.lines()
                self.assertIn(CLOSING, lines)
                self.assertTrue(lines[lines.index(CLOSING) - 1].startswith(":>"), lines)
                self.assertEqual(server.messages, [])
                self.assert_settings_kept(pane)

    def test_a_key_ends_the_wait_after_a_failed_connection(self):
        port = free_port()
        pane = self.pane(["127.0.0.1", port])
        pane.until_last_line(f"main(): ERROR Cannot connect to server at 127.0.0.1:{port}")
        pane.keys("Escape")
        self.assertEqual(pane.exit_status(), 1)
        self.assert_settings_kept(pane)


if __name__ == "__main__":
    unittest.main()
