#!/usr/bin/env python3
"""End-to-end benchmark of talvoW6Client on loopback.

Runs the same scripted command lines (a mix of every command, a few of them
rejected) through

  - the client against talvoW6Sim,
  - the minimal loop (talvo_minimal_loop: the same blocking exchange and
    nothing else, the limit) against the same simulator,
  - both against a server that only echoes (talvo_echo_server),

several runs of each, interleaved, and reports the median commands per
second, the CPU time per command and the peak memory (ru_maxrss). Then the
simulator's own rate with several minimal loops at once, the client's peak
memory for a short and a long run, and the time from start to the first
prompt with its peak memory, for the client and the minimal loop.

Every run's exit status and output are checked (every sent command got its
reply); the script fails only on that. Targets are reported as met or
missed, never asserted.
"""

import argparse
import os
import re
import select
import signal
import statistics
import subprocess
import sys
import tempfile
import time

# One cycle of the scripted session: the camera is connected and acquiring,
# the operator mostly asks for counts and states, sets the interval and the
# lasers, and now and then types a command the client rejects.
CYCLE = [
    "c1", "a1", "fc", "tc", "n", "c", "i1500", "fc", "tc", "i",
    "l0", "fc", "tc", "c5", "n", "c", "fc", "s", "tc", "i999",
]
REJECTED = {"c5", "s", "i999"}

# The programs, by option, and where a build folder has them.
PROGRAMS = {
    "--client": "console/talvoW6Client",
    "--simulator": "simulator/talvoW6Sim",
    "--minimal-loop": "bench/talvo_minimal_loop",
    "--echo-server": "bench/talvo_echo_server",
    "--peak-memory": "bench/talvo_peak_memory",
}

PROMPT = b":> "
# Growth of the peak memory between the short and the long run that still
# counts as not growing. The peak of the same run varies by up to about
# 100 KiB from one run to the next; a leak of 3 bytes per command would
# exceed this bound at 100,000 commands.
MEMORY_SLACK_KIB = 256


def command_lines(count):
    return [CYCLE[i % len(CYCLE)] for i in range(count)]


def sent_count(lines):
    return sum(1 for line in lines if line not in REJECTED)


class Failure(Exception):
    pass


class Usage:
    """What talvo_peak_memory wrote about one program's run."""

    def __init__(self, path):
        with open(path) as f:
            maxrss, user, system = f.read().split()
        self.maxrss_kib = int(maxrss)
        self.cpu_seconds = float(user) + float(system)


class Result:
    def __init__(self, seconds, usage, commands):
        self.seconds = seconds
        self.rate = commands / seconds
        self.cpu_us = usage.cpu_seconds * 1e6 / commands
        self.maxrss_kib = usage.maxrss_kib


def wait_bounded(process, timeout, what):
    """Waits for a process started in a session of its own; after `timeout`
    seconds the whole session is killed. Returns the exit status."""
    try:
        return process.wait(timeout)
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        raise Failure(f"{what}: no end after {timeout:.0f} s")


def run_timeout(commands):
    return 60 + commands * 0.005


def read_text(path):
    with open(path, "rb") as f:
        return f.read().decode(errors="replace")


class Server:
    """talvoW6Sim or the echo server, listening on a free loopback port.
    With a usage file the server runs under talvo_peak_memory."""

    def __init__(self, argv, name, usage_path=None):
        self.name = name
        self.usage_path = usage_path
        self.process = subprocess.Popen(argv, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.PIPE, start_new_session=True)
        ready, _, _ = select.select([self.process.stdout], [], [], 10)
        line = self.process.stdout.readline().decode(errors="replace") if ready else ""
        match = re.search(r"127\.0\.0\.1:(\d+)", line)
        if not match:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
            raise Failure(f"{name} did not say where it listens: {line!r}")
        self.port = match.group(1)
        self.maxrss_kib = None
        # The server itself: the launcher's child when there is a launcher.
        self.pid = self.process.pid
        if usage_path:
            with open(f"/proc/{self.pid}/task/{self.pid}/children") as f:
                self.pid = int(f.read().split()[0])

    def cpu_seconds(self):
        """CPU time the server has used so far."""
        with open(f"/proc/{self.pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def stop(self):
        if self.process.returncode is not None:
            return
        self.process.send_signal(signal.SIGTERM)
        status = wait_bounded(self.process, 10, self.name)
        self.process.stdout.close()
        if status not in (0, -signal.SIGTERM, 128 + signal.SIGTERM):
            raise Failure(f"{self.name}: exit status {status} after SIGTERM")
        if self.usage_path:
            self.maxrss_kib = Usage(self.usage_path).maxrss_kib


class Bench:
    def __init__(self, args, workdir):
        self.args = args
        self.workdir = workdir
        self.command_files = {}

    def commands_file(self, count):
        if count not in self.command_files:
            path = os.path.join(self.workdir, f"commands-{count}.txt")
            with open(path, "w") as f:
                f.write("".join(line + "\n" for line in command_lines(count)))
            self.command_files[count] = path
        return self.command_files[count]

    def program(self, kind, port):
        exe = self.args.client if kind == "client" else self.args.minimal_loop
        return [exe, "127.0.0.1", port]

    def measured(self, argv, tag):
        """`argv` run under talvo_peak_memory, and where its usage goes."""
        usage = os.path.join(self.workdir, f"{tag}.usage")
        return [self.args.peak_memory, usage] + argv, usage

    def start(self, kind, port, count, tag):
        """Starts one session reading `count` scripted lines from a file."""
        out = os.path.join(self.workdir, f"{tag}.out")
        err = os.path.join(self.workdir, f"{tag}.err")
        argv, usage = self.measured(self.program(kind, port), tag)
        with open(self.commands_file(count), "rb") as fin, \
                open(out, "wb") as fout, open(err, "wb") as ferr:
            started = time.perf_counter()
            process = subprocess.Popen(argv, stdin=fin, stdout=fout, stderr=ferr,
                                       start_new_session=True)
        return started, process, out, err, usage

    def finish(self, kind, count, started, process, out, err, usage, tag):
        """Waits for a session; returns its seconds and a check of its run."""
        status = wait_bounded(process, run_timeout(count), tag)
        seconds = time.perf_counter() - started

        def check():
            check_session(kind, count, status, read_text(out), read_text(err), tag)
            os.remove(out)
            os.remove(err)
            return Usage(usage)

        return seconds, check

    def session(self, kind, port, count, tag):
        seconds, check = self.finish(kind, count, *self.start(kind, port, count, tag), tag)
        return Result(seconds, check(), count)

    def concurrent(self, server, clients, count, tag):
        """`clients` minimal loops at once; their total rate, their peak
        memory and the share of one core the server was busy."""
        port = server.port
        cpu_before = server.cpu_seconds()
        started = [self.start("limit", port, count, f"{tag}-{i}") for i in range(clients)]
        finished = [self.finish("limit", count, *s, f"{tag}-{i}") for i, s in enumerate(started)]
        # From the first start to the last end.
        seconds = max(s[0] + f[0] for s, f in zip(started, finished)) - started[0][0]
        busy = (server.cpu_seconds() - cpu_before) / seconds
        usages = [check() for _, check in finished]
        return clients * count / seconds, max(u.maxrss_kib for u in usages), busy

    def startup_time(self, kind, port, tag):
        """Time from start to the first prompt, started straight from here."""
        start = time.perf_counter()
        process = subprocess.Popen(self.program(kind, port), stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                   start_new_session=True)
        seen = b""
        deadline = start + 10
        while PROMPT not in seen:
            ready, _, _ = select.select([process.stdout], [], [], max(0, deadline - time.perf_counter()))
            chunk = os.read(process.stdout.fileno(), 4096) if ready else b""
            if not chunk:
                os.killpg(process.pid, signal.SIGKILL)
                process.wait()
                raise Failure(f"{tag}: no prompt; output {seen!r}")
            seen += chunk
        seconds = time.perf_counter() - start
        process.stdin.close()
        while os.read(process.stdout.fileno(), 4096):
            pass
        process.stdout.close()
        status = wait_bounded(process, 10, tag)
        if status != 0:
            raise Failure(f"{tag}: exit status {status}")
        return seconds

    def startup_memory(self, kind, port, tag):
        """Peak memory of a session that ends at its first prompt."""
        argv, usage = self.measured(self.program(kind, port), tag)
        process = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL, start_new_session=True)
        try:
            out, _ = process.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()
            raise Failure(f"{tag}: no end after 10 s")
        if process.returncode != 0 or PROMPT not in out:
            raise Failure(f"{tag}: exit status {process.returncode}, output {out!r}")
        return Usage(usage).maxrss_kib


def check_session(kind, count, status, out, err, tag):
    """Every scripted line was read, every sent command got one reply."""
    lines = command_lines(count)
    sent = sent_count(lines)
    if kind == "limit":
        expected = f"minimal loop: {count} lines, {sent} sent, {sent} replies"
        if status != 0 or expected not in err:
            raise Failure(f"{tag}: status {status}, expected {expected!r}, got {err.strip()!r}")
        return
    counts = {
        "prompt": (out.count(":> "), count + 1),
        "waiting line": (out.count("waiting for reply...\n"), sent),
        "reply report": (out.count("Got Message this long: "), sent),
        "failure": (out.count("failed to") + out.count("Malformed"), 0),
        "closing line": (out.count("Client Connection Closed"), 1),
    }
    wrong = {k: v for k, v in counts.items() if v[0] != v[1]}
    if status != 0 or wrong:
        raise Failure(f"{tag}: status {status}, (seen, expected): {wrong}; stderr {err.strip()!r}")


def median(values):
    return statistics.median(values)


def spread(values, fmt):
    return f"{fmt.format(min(values))}..{fmt.format(max(values))}"


def machine():
    model = "unknown CPU"
    try:
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    return f"{model}, {os.cpu_count()} cores"


def load():
    return " ".join(f"{x:.2f}" for x in os.getloadavg())


def verdict(met):
    return "met" if met else "MISSED"


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    build = os.path.join(os.path.dirname(os.path.abspath(__file__)), os.pardir, "build")
    parser.add_argument("--build", default=os.path.normpath(build),
                        help="build folder the programs are taken from (default: build/ "
                             "of this source tree)")
    for option, path in PROGRAMS.items():
        parser.add_argument(option, help=f"path of {os.path.basename(path)} "
                                         f"(default: BUILD/{path})")
    parser.add_argument("--commands", type=int, default=20000,
                        help="scripted command lines per run (default 20000)")
    parser.add_argument("--runs", type=int, default=9,
                        help="runs of each configuration, interleaved (default 9)")
    parser.add_argument("--concurrent", type=int, default=4,
                        help="minimal loops at once against the simulator (default 4)")
    parser.add_argument("--memory-commands", type=int, nargs=2, default=[1000, 100000],
                        metavar=("SHORT", "LONG"),
                        help="command lines of the two runs whose peak memory is compared")
    parser.add_argument("--memory-runs", type=int, default=3,
                        help="runs of each of the two, interleaved (default 3)")
    parser.add_argument("--startup-runs", type=int, default=21,
                        help="start-ups of each program, interleaved (default 21)")
    args = parser.parse_args()
    for option, path in PROGRAMS.items():
        name = option[2:].replace("-", "_")
        if getattr(args, name) is None:
            setattr(args, name, os.path.join(args.build, path))
        if not os.access(getattr(args, name), os.X_OK):
            parser.error(f"{getattr(args, name)} is not an executable; build first "
                         "(cmake --preset default && cmake --build --preset default)")
    if args.commands < len(CYCLE) or args.runs < 1 or args.concurrent < 1 \
            or args.startup_runs < 1 or args.memory_runs < 1 or min(args.memory_commands) < 1:
        parser.error("counts must be positive, and --commands at least one cycle "
                     f"({len(CYCLE)} lines)")

    n = args.commands
    load_before = load()
    with tempfile.TemporaryDirectory(prefix="talvo-bench-") as workdir:
        bench = Bench(args, workdir)
        sim_argv, sim_usage = bench.measured([args.simulator, "--listen", "127.0.0.1:0"], "sim")
        sim = Server(sim_argv, "talvoW6Sim", sim_usage)
        echo = None
        try:
            echo = Server([args.echo_server], "talvo_echo_server")
            configs = [
                ("client", "simulator", sim.port),
                ("limit", "simulator", sim.port),
                ("client", "echo", echo.port),
                ("limit", "echo", echo.port),
            ]
            results = {(kind, server): [] for kind, server, _ in configs}
            together = []
            together_rss = []
            together_busy = []
            for run in range(args.runs):
                # Each run starts with another configuration, so that none
                # always runs first or last.
                order = configs[run % len(configs):] + configs[:run % len(configs)]
                for kind, server, port in order:
                    results[(kind, server)].append(
                        bench.session(kind, port, n, f"{kind}-{server}-{run}"))
                rate, rss, busy = bench.concurrent(sim, args.concurrent, n, f"together-{run}")
                together.append(rate)
                together_rss.append(rss)
                together_busy.append(busy)

            short, long_ = args.memory_commands
            memory = {short: [], long_: []}
            for run in range(args.memory_runs):
                for count in (short, long_):
                    memory[count].append(bench.session("client", sim.port, count,
                                                       f"memory-{count}-{run}").maxrss_kib)

            startups = {"client": [], "limit": []}
            startup_rss = {"client": [], "limit": []}
            for run in range(args.startup_runs):
                kinds = ["client", "limit"] if run % 2 == 0 else ["limit", "client"]
                for kind in kinds:
                    tag = f"startup-{kind}-{run}"
                    startups[kind].append(bench.startup_time(kind, sim.port, tag))
                    startup_rss[kind].append(bench.startup_memory(kind, sim.port, tag))
            # What the launcher itself makes every measured program show at least.
            floor_argv, floor_usage = bench.measured(["true"], "floor")
            if subprocess.run(floor_argv, timeout=10).returncode != 0:
                raise Failure("talvo_peak_memory cannot run true")
            floor = Usage(floor_usage).maxrss_kib
        finally:
            if echo:
                echo.stop()
            sim.stop()

    names = {"client": "talvoW6Client", "limit": "minimal loop (limit)"}
    print(f"machine: {machine()}; load average {load_before} before, {load()} after")
    print(f"{n} commands per run ({sent_count(command_lines(n))} sent, the rest rejected), "
          f"{args.runs} runs of each, interleaved; median (range)")
    print()
    print(f"{'':36} {'commands/s':>24} {'CPU us/cmd':>11} {'peak KiB':>9}")
    for kind, server, _ in configs:
        rs = results[(kind, server)]
        rates = [r.rate for r in rs]
        print(f"{names[kind] + ' -> ' + server:36} "
              f"{median(rates):8.0f} ({spread(rates, '{:.0f}'):>13}) "
              f"{median([r.cpu_us for r in rs]):11.1f} "
              f"{max(r.maxrss_kib for r in rs):9d}")
    print(f"{str(args.concurrent) + ' minimal loops -> simulator, total':36} "
          f"{median(together):8.0f} ({spread(together, '{:.0f}'):>13}) "
          f"{'':11} {max(together_rss):9d}")
    print(f"talvoW6Sim busy with {args.concurrent} minimal loops: "
          f"{median(together_busy) * 100:.0f}% of one core "
          f"({spread([b * 100 for b in together_busy], '{:.0f}')}%)")
    print()

    def ratios(a, b):
        """Each round's rate of `a` over the same round's rate of `b`: runs
        close in time share the machine's load, which their ratio cancels."""
        return [x.rate / y.rate for x, y in zip(results[a], results[b])]

    def ratio_line(text, values, target=""):
        print(f"{text}: {median(values):.3f} ({spread(values, '{:.3f}')}){target}")

    client_limit = ratios(("client", "simulator"), ("limit", "simulator"))
    print("ratios: median of the rounds' ratios (range)")
    ratio_line("client / limit against the simulator", client_limit,
               f"; target 0.95 or better: {verdict(median(client_limit) >= 0.95)}")
    ratio_line("client / limit against the echo server",
               ratios(("client", "echo"), ("limit", "echo")))
    sim_echo = ratios(("client", "simulator"), ("client", "echo"))
    ratio_line("client against the simulator / against the echo server", sim_echo,
               f"; target within 5%: {verdict(abs(1 - median(sim_echo)) <= 0.05)}")
    ratio_line("limit against the simulator / against the echo server",
               ratios(("limit", "simulator"), ("limit", "echo")))
    peak = {count: median(values) for count, values in memory.items()}
    growth = peak[long_] - peak[short]
    print(f"client peak memory, median of {args.memory_runs} runs: {peak[short]:.0f} KiB at "
          f"{short} commands, {peak[long_]:.0f} KiB at {long_} commands, growth {growth:+.0f} KiB "
          f"(target no growth, within {MEMORY_SLACK_KIB} KiB: "
          f"{verdict(growth <= MEMORY_SLACK_KIB)})")
    for kind in ("client", "limit"):
        times = [t * 1e3 for t in startups[kind]]
        print(f"start-up to first prompt, {names[kind]}: {median(times):.2f} ms "
              f"({spread(times, '{:.2f}')}), peak {max(startup_rss[kind])} KiB, "
              f"{args.startup_runs} runs")
    print(f"talvoW6Sim peak memory over the whole benchmark: {sim.maxrss_kib} KiB")
    print(f"(peak memory is measured through talvo_peak_memory; `true` measures {floor} KiB "
          "through it)")
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main())
    except Failure as failure:
        print(f"e2e_bench: {failure}", file=sys.stderr)
        sys.exit(1)
