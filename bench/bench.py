#!/usr/bin/python3
"""./dev bench: the product's two connectors against the peers an administrator would
otherwise run, on this machine, in one run.

Starts every system on loopback, drives each scenario with wrk in rounds (every round
visits every cell once, so that a slow minute of the machine hurts all systems alike),
stops everything, runs the native micro-benchmark and writes report.md and report.png.
usage: bench/bench.py --build BUILD --out OUT [--seconds S] [--warmup S] [--rounds N]
"""

import argparse
import dataclasses
import json
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import measure
import plan
import report
import systems

BENCH = Path(__file__).resolve().parent


def arguments():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build", required=True, help="the build folder of ./dev build")
    parser.add_argument("--out", required=True, help="where report.md and report.png go")
    parser.add_argument("--seconds", type=int, default=8, help="length of a measured run")
    parser.add_argument("--warmup", type=int, default=3, help="unmeasured run before a cell")
    parser.add_argument("--rounds", type=int, default=3, help="measured runs of each cell")
    parser.add_argument("--threads", type=int, default=32,
                        help="request threads of every server (isapihost, instance, Tomcat)")
    parser.add_argument("--only", help="comma-separated system keys, for a quick look")
    parser.add_argument("--no-micro", action="store_true", help="skip the micro-benchmark")
    return parser.parse_args()


def log(text):
    print(text, flush=True)


def measure_all(cells, options):
    """Runs every cell `rounds` times; answers {(scenario key, system key): [Result]}."""
    results = {}
    total = len(cells) * options.rounds
    estimate = total * (options.seconds + 1) + len(cells) * (options.warmup + 1)
    log(f"{len(cells)} cells, {options.rounds} rounds: {total} runs of {options.seconds} s, "
        f"about {estimate // 60} min {estimate % 60} s")
    done = 0
    for round_number in range(options.rounds):
        for cell in cells:
            scenario, system = cell.scenario, cell.system
            url = system.url(getattr(system, scenario.app))

            def drive(seconds):
                return measure.run_wrk(url, scenario.connections, seconds, system.sessions,
                                       body_bytes=scenario.body_bytes,
                                       close_each=scenario.close_each)

            done += 1
            print(f"[{done}/{total}] {system.short}, {scenario.title}, "
                  f"{report.connections(scenario.connections)} …", end="", flush=True)
            if round_number == 0 and options.warmup > 0:
                drive(options.warmup)
            result = drive(options.seconds)
            results.setdefault((scenario.key, system.key), []).append(result)
            errors = f", {result.errors} errors" if result.errors else ""
            log(f" {result.rate:,.0f} requests/s, p99 {result.p99_ms:.1f} ms{errors}")
    return results


def micro_benchmark(build, out):
    """The native per-request path: Google Benchmark times and callgrind instruction counts."""
    binary = Path(build) / "bench" / "connector_bench"
    log("native micro-benchmark (Google Benchmark)")
    timing = subprocess.run([str(binary), "--benchmark_min_time=0.5"], check=True,
                            capture_output=True, text=True).stdout
    (out / "micro.txt").write_text(timing)
    log("instruction counts under callgrind")
    counts = subprocess.run([str(BENCH / "micro" / "count_instructions.sh"), "--fakes",
                             str(binary)],
                            check=True, capture_output=True, text=True).stdout
    return timing, counts


def main():
    options = arguments()
    out = Path(options.out)
    out.mkdir(parents=True, exist_ok=True)
    work = Path(tempfile.mkdtemp(prefix="brevant-bench."))
    work.chmod(0o755)  # nginx's and Apache's workers run as www-data and read from it
    started = time.monotonic()
    # A Ctrl-C or a stop from outside ends the run through the finally below.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
    setup = systems.Setup(options.build, work, options.threads)
    chosen = []
    try:
        log(f"configuring the systems in {work}")
        for system in setup.systems(options.only.split(",") if options.only else None):
            log(f"starting {system.label} on 127.0.0.1:{system.port}")
            chosen.append(system)
            system.start()
            system.check()
        results = measure_all(plan.cells(chosen), options)
    finally:
        log("stopping every server")
        for system in chosen:
            system.stop()
    timing, counts = ("(not run)", "(not run)") if options.no_micro else micro_benchmark(
        options.build, out)
    # Every run, not only the medians, for comparisons with later runs.
    (out / "runs.json").write_text(json.dumps(
        {f"{scenario} {system}": [dataclasses.asdict(r) for r in runs]
         for (scenario, system), runs in results.items()}, indent=1))
    report.write(out, chosen, results, options, timing, counts,
                 elapsed=time.monotonic() - started)
    shutil.rmtree(work, ignore_errors=True)
    log(f"wrote {out / 'report.md'}, {out / 'report.png'} and {out / 'runs.json'} "
        f"in {(time.monotonic() - started) / 60:.1f} min")


if __name__ == "__main__":
    try:
        main()
    except systems.StartError as error:
        sys.exit(f"bench: {error}")
