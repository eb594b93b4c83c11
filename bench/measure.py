"""One measured run: wrk against a URL while the server's processes are watched.

The server side of a system is a set of process sessions (each server is started in a
session of its own), so that worker processes and JVM threads are all counted: CPU time
is read from /proc before and after the run, resident memory is sampled during it.
"""

import json
import os
import subprocess
import threading
from dataclasses import dataclass
from pathlib import Path

BENCH = Path(__file__).resolve().parent
WRK_SCRIPT = BENCH / "wrk_summary.lua"
CLOCK_TICKS = os.sysconf("SC_CLK_TCK")
PAGE_SIZE = os.sysconf("SC_PAGE_SIZE")
RSS_SAMPLE_SECONDS = 0.1


@dataclass
class Result:
    requests: int
    seconds: float
    bytes_moved: int  # response bytes read plus request bodies sent
    p50_ms: float
    p99_ms: float
    errors: int  # failed connects and writes, time-outs, answers other than 2xx and 3xx
    server_closes: int  # connections the server closed after an answer (wrk's read errors)
    cpu_seconds: float
    peak_rss_bytes: int

    @property
    def rate(self):
        return self.requests / self.seconds if self.seconds else 0.0

    @property
    def mb_per_second(self):
        return self.bytes_moved / self.seconds / 1e6 if self.seconds else 0.0

    @property
    def cpu_per_1000(self):
        return self.cpu_seconds / self.requests * 1000 if self.requests else float("nan")


def session_processes(sessions):
    """(pid, utime + stime ticks, rss pages) of every live process in the given sessions."""
    found = []
    for entry in os.scandir("/proc"):
        if not entry.name.isdigit():
            continue
        try:
            stat = Path(entry.path, "stat").read_text()
        except OSError:
            continue  # ended while we looked
        # The command name may hold blanks and parentheses: the fields follow the last ")".
        fields = stat[stat.rindex(")") + 2 :].split()
        if int(fields[3]) in sessions:
            found.append((int(entry.name), int(fields[11]) + int(fields[12]), int(fields[21])))
    return found


def cpu_seconds(sessions):
    return sum(ticks for _, ticks, _ in session_processes(sessions)) / CLOCK_TICKS


def resident_bytes(sessions):
    return sum(pages for _, _, pages in session_processes(sessions)) * PAGE_SIZE


class _RssSampler(threading.Thread):
    def __init__(self, sessions):
        super().__init__(daemon=True)
        self.sessions = sessions
        self.peak = resident_bytes(sessions)
        self.stopping = threading.Event()

    def run(self):
        while not self.stopping.wait(RSS_SAMPLE_SECONDS):
            self.peak = max(self.peak, resident_bytes(self.sessions))


def wrk_command(url, connections, seconds, close_each=False):
    threads = min(2, connections)
    command = ["wrk", "-t", str(threads), "-c", str(connections), "-d", f"{seconds}s",
               "--timeout", "10s", "-s", str(WRK_SCRIPT)]
    if close_each:
        command += ["-H", "Connection: close"]
    return command + [url]


def run_wrk(url, connections, seconds, sessions, body_bytes=0, close_each=False):
    """Drives `url` for `seconds` and answers a Result; raises when wrk fails."""
    environment = dict(os.environ, BENCH_BODY_BYTES=str(body_bytes))
    sampler = _RssSampler(sessions)
    cpu_before = cpu_seconds(sessions)
    sampler.start()
    completed = subprocess.run(wrk_command(url, connections, seconds, close_each),
                               env=environment, capture_output=True, text=True)
    sampler.stopping.set()
    sampler.join()
    cpu_used = cpu_seconds(sessions) - cpu_before
    if completed.returncode != 0:
        raise RuntimeError(f"wrk failed ({completed.returncode}): {completed.stderr.strip()}")
    line = next((l for l in completed.stdout.splitlines() if l.startswith("BENCH_JSON ")), None)
    if line is None:
        raise RuntimeError(f"wrk printed no summary:\n{completed.stdout}")
    summary = json.loads(line[len("BENCH_JSON "):])
    errors = sum(summary[k] for k in ("connect_errors", "write_errors", "status_errors",
                                      "timeouts"))
    return Result(
        requests=summary["requests"],
        seconds=summary["duration_us"] / 1e6,
        bytes_moved=summary["bytes"] + summary["requests"] * summary["body_bytes"],
        p50_ms=summary["p50_us"] / 1000,
        p99_ms=summary["p99_us"] / 1000,
        errors=errors,
        server_closes=summary["read_errors"],
        cpu_seconds=cpu_used,
        peak_rss_bytes=sampler.peak,
    )
