"""Starts and stops the Wine session in which the Windows client is tested.

    wine_session.py start WINE WINESERVER
    wine_session.py stop WINESERVER

WINEPREFIX names the prefix (created on the first start). `start` runs a
wineserver that outlives each client for a while and brings up Wine's system
processes once, with their standard streams on /dev/null: a system process
started by the first client of a session would otherwise inherit that
client's output pipe and keep the test waiting for its end. `stop` ends the
wineserver and everything it runs, so that nothing is left behind.
"""

import os
import subprocess
import sys

PREFIX_TIMEOUT = 300  # the first start creates the prefix, which takes a while
SERVER_TIMEOUT = 30
# Seconds the wineserver stays after its last client: long enough to span the
# gaps between the suite's clients, short enough that a session that was never
# stopped still ends by itself.
PERSISTENCE = 60


def run(command, timeout):
    return subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=timeout).returncode


def start(wine, wineserver):
    prefix = os.environ["WINEPREFIX"]
    os.makedirs(prefix, exist_ok=True)
    if run([wineserver, f"-p{PERSISTENCE}"], SERVER_TIMEOUT) != 0:
        sys.exit("wineserver did not start")
    try:
        status = run([wine, "wineboot", "--init"], PREFIX_TIMEOUT)
    except subprocess.TimeoutExpired:
        stop(wineserver)
        sys.exit(f"wineboot did not finish within {PREFIX_TIMEOUT} s")
    if status != 0:
        stop(wineserver)
        sys.exit(f"wineboot failed with status {status}")
    print(f"Wine session ready in {prefix}")


def stop(wineserver):
    # -k fails when no wineserver runs for the prefix, which is fine here.
    run([wineserver, "-k"], SERVER_TIMEOUT)
    run([wineserver, "-w"], SERVER_TIMEOUT)
    print("Wine session stopped")


def main(argv):
    if len(argv) == 4 and argv[1] == "start":
        start(argv[2], argv[3])
    elif len(argv) == 3 and argv[1] == "stop":
        stop(argv[2])
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv)
