#!/usr/bin/python3
"""Where the time goes in each connector: perf samples every process of the system (the
web server with its threads, and for the adapter the instance) while wrk drives the Hello
page, then lists the costliest shared objects and functions. The JVMs write a perf map at
exit, so that compiled Java methods have names too.

usage: bench/profile.py --build BUILD --out OUT [--seconds S] [--connections N] [--only KEYS]
Writes OUT/profile-<system>.txt; needs perf (Debian's linux-perf) and a kernel that lets
it sample (cpu-clock is enough; no hardware counters needed).
"""

import argparse
import subprocess
import tempfile
import time
from pathlib import Path

import measure
import systems

PERF_MAP_OPTIONS = ("-XX:+UnlockDiagnosticVMOptions", "-XX:+DumpPerfMapAtExit")


def profile(system, out, seconds, connections):
    url = system.url(system.hello)
    measure.run_wrk(url, connections, 8, system.sessions)  # the JIT compiles first
    pids = sorted(pid for pid, _, _ in measure.session_processes(system.sessions))
    data = out / f"profile-{system.key}.data"
    wrk = subprocess.Popen(measure.wrk_command(url, connections, seconds + 2),
                           stdout=subprocess.DEVNULL)
    time.sleep(1)
    subprocess.run(["perf", "record", "-q", "-g", "-e", "cpu-clock", "-F", "999", "-o", str(data),
                    "-p", ",".join(map(str, pids)), "--", "sleep", str(seconds)], check=True)
    wrk.wait()
    return data


def perf_report(data, *options):
    report = subprocess.run(["perf", "report", "-i", str(data), "--stdio", "-g", "none",
                             "--percent-limit", "0.5", *options],
                            capture_output=True, text=True, check=True).stdout
    return [line for line in report.splitlines() if line and not line.startswith("#")]


def summarize(data, text):
    sections = [
        ("by thread name", perf_report(data, "--no-children", "--sort", "comm")),
        ("by shared object", perf_report(data, "--no-children", "--sort", "dso")),
        ("by function", perf_report(data, "--no-children", "--sort", "dso,sym")),
        # The kernel's share by the system call that led there: where connection set-up,
        # socket I/O and thread hand-offs cost.
        ("system calls, with what they called", [
            line for line in perf_report(data, "--children", "--sort", "sym")
            if "__x64_sys_" in line]),
    ]
    text.write_text("\n\n".join(f"## {title}\n\n" + "\n".join(rows)
                                  for title, rows in sections) + "\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True)
    parser.add_argument("--out", required=True)
    parser.add_argument("--seconds", type=int, default=10)
    parser.add_argument("--connections", type=int, default=16)
    parser.add_argument("--threads", type=int, default=32)
    parser.add_argument("--only", default="inprocess,adapter", help="comma-separated system keys")
    options = parser.parse_args()
    out = Path(options.out)
    out.mkdir(parents=True, exist_ok=True)
    work = Path(tempfile.mkdtemp(prefix="brevant-profile."))
    setup = systems.Setup(options.build, work, options.threads, jvm_options=PERF_MAP_OPTIONS)
    for system in setup.systems(options.only.split(",")):
        print(f"profiling {system.label}", flush=True)
        try:
            system.start()
            system.check()
            data = profile(system, out, options.seconds, options.connections)
        finally:
            system.stop()  # the JVMs write their perf maps as they end
        text = out / f"profile-{system.key}.txt"
        summarize(data, text)
        print(f"wrote {text}", flush=True)


if __name__ == "__main__":
    main()
