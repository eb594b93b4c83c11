"""report.md and report.png from the measured runs: medians of the rounds, the spread of
the request rate, and every row's ratio to the mod_jk peer measured in the same run."""

import datetime
import os
import platform
import shlex
import statistics
import subprocess
from pathlib import Path

import matplotlib

matplotlib.use("Agg")  # files only, no display
import matplotlib.pyplot as plt  # noqa: E402

import measure  # noqa: E402
import plan  # noqa: E402

REPOSITORY = Path(__file__).resolve().parent.parent
PEER_PACKAGES = ("apache2", "libapache2-mod-jk", "libtomcat10-java", "nginx-light", "wrk",
                 "openjdk-17-jdk-headless", "libbenchmark-dev", "valgrind")


def _output(command):
    try:
        done = subprocess.run(command, capture_output=True, text=True, timeout=30)
        return (done.stdout + done.stderr).strip()
    except OSError as error:
        return f"({command[0]}: {error})"


def connections(count):
    return f"{count} connection" + ("" if count == 1 else "s")


def _machine():
    model = next((line.split(":", 1)[1].strip() for line in
                  Path("/proc/cpuinfo").read_text().splitlines() if line.startswith("model name")),
                 platform.processor())
    memory_kb = int(next(line.split()[1] for line in Path("/proc/meminfo").read_text().splitlines()
                         if line.startswith("MemTotal")))
    debian = Path("/etc/debian_version").read_text().strip()
    return (f"{model}, {os.cpu_count()} cores, {memory_kb / 1024 / 1024:.1f} GiB; "
            f"Linux {platform.release()}, Debian {debian}")


def _versions():
    packages = _output(["dpkg-query", "-W", "-f", "${Package} ${Version}\\n", *PEER_PACKAGES])
    rows = [f"- {line}" for line in packages.splitlines()]
    rows.append(f"- {_output(['apache2', '-v']).splitlines()[0]}")
    rows.append(f"- {_output(['nginx', '-v'])}")
    rows.append(f"- {_output(['java', '-version']).splitlines()[1]}")
    commit = _output(["git", "-C", str(REPOSITORY), "describe", "--always", "--dirty"])
    rows.append(f"- this project: commit {commit}, RelWithDebInfo build of ./dev build")
    return rows


def _median(results, metric):
    return statistics.median(getattr(r, metric) for r in results)


def _scenario_table(scenario, systems, results):
    baseline = results.get((scenario.key, plan.BASELINE))
    baseline_rate = _median(baseline, "rate") if baseline else None
    rows = ["| system | requests/s (spread) | p50 ms | p99 ms | MB/s | CPU s per 1,000 requests"
            " | peak RSS MiB | errors | closed by server | ratio to mod_jk |",
            "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"]
    for system in systems:
        runs = results.get((scenario.key, system.key))
        if not runs:
            continue
        rates = [r.rate for r in runs]
        rate = statistics.median(rates)
        ratio = f"{rate / baseline_rate:.2f}" if baseline_rate else "–"
        rows.append(
            f"| {system.label} | {rate:,.0f} ({min(rates):,.0f}–{max(rates):,.0f}) "
            f"| {_median(runs, 'p50_ms'):.2f} | {_median(runs, 'p99_ms'):.2f} "
            f"| {_median(runs, 'mb_per_second'):,.1f} | {_median(runs, 'cpu_per_1000'):.3f} "
            f"| {max(r.peak_rss_bytes for r in runs) / 2**20:,.0f} "
            f"| {sum(r.errors for r in runs)} | {sum(r.server_closes for r in runs):,} "
            f"| {ratio} |")
    return rows


def _load_table(systems, results):
    shown = [s for s in systems if s.key in plan.LOAD_SYSTEMS]
    head = "| connections | " + " | ".join(f"{s.short} requests/s | {s.short} p99 ms"
                                           for s in shown) + " |"
    rows = [head, "|---:|" + "---:|---:|" * len(shown)]
    for connections in plan.LOAD_CONNECTIONS:
        scenario = plan.load_scenario(connections)
        cells = []
        for system in shown:
            runs = results.get((scenario.key, system.key), [])
            cells += ([f"{_median(runs, 'rate'):,.0f}", f"{_median(runs, 'p99_ms'):.2f}"]
                      if runs else ["–", "–"])
        rows.append(f"| {connections} | " + " | ".join(cells) + " |")
    return rows


def _container_table(systems, results):
    """Per connector and Hello scenario: the rate through the container over the built-in
    page's, with the range of the ratios of the same round (the rounds visit both alike)."""
    by_key = {system.key: system for system in systems}
    rows = ["| connector | scenario | built-in page requests/s | through the container "
            "requests/s | ratio (range over rounds) |", "|---|---|---:|---:|---:|"]
    for builtin, webapp in plan.CONTAINER_PAIRS:
        for scenario in plan.SCENARIOS:
            base = results.get((scenario.key, builtin))
            runs = results.get((scenario.key, webapp))
            if not base or not runs:
                continue
            rate, base_rate = _median(runs, "rate"), _median(base, "rate")
            ratios = [r.rate / b.rate for r, b in zip(runs, base)]
            rows.append(f"| {by_key[builtin].short} | {scenario.title}, "
                        f"{connections(scenario.connections)} | {base_rate:,.0f} | {rate:,.0f} "
                        f"| {rate / base_rate:.2f} ({min(ratios):.2f}–{max(ratios):.2f}) |")
    return rows if len(rows) > 2 else []


def _commands(systems, options):
    rows = ["Servers (each in a process session of its own, on 127.0.0.1; their "
            "configuration files, made by bench/systems.py from bench/nginx.conf, "
            "bench/peers/ and bench/webapp/, lived in a work folder that is removed at the "
            "end):", ""]
    for system in systems:
        for server in system.servers:
            rows.append(f"- {server.name}: `{shlex.join(map(str, server.command))}`")
    rows += ["", "Load (wrk_summary.lua prints the numbers; BENCH_BODY_BYTES sets the upload):", ""]
    for scenario in plan.SCENARIOS + plan.LOAD_SCENARIOS:
        command = measure.wrk_command("URL", scenario.connections, options.seconds,
                                      scenario.close_each)
        body = f"BENCH_BODY_BYTES={scenario.body_bytes} " if scenario.body_bytes else ""
        rows.append(f"- {scenario.title}, {connections(scenario.connections)}: "
                    f"`{body}{shlex.join(command)}`")
    return rows


def _chart(path, systems, results):
    groups = [(f"{s.short}\n{s.connections} conn.", s)
              for s in plan.SCENARIOS + plan.LOAD_SCENARIOS]
    figure, axes = plt.subplots(figsize=(13, 5.5))
    width = 0.8 / len(systems)
    for index, system in enumerate(systems):
        ratios = []
        for _, scenario in groups:
            runs = results.get((scenario.key, system.key))
            baseline = results.get((scenario.key, plan.BASELINE))
            ratios.append(_median(runs, "rate") / _median(baseline, "rate")
                          if runs and baseline else 0)
        positions = [g + (index - (len(systems) - 1) / 2) * width for g in range(len(groups))]
        bars = axes.bar(positions, [r or float("nan") for r in ratios], width,
                        label=system.label)
        axes.bar_label(bars, [f"{r:.2g}" if r else "" for r in ratios], fontsize=6)
    axes.set_yscale("log")  # 2x faster and 2x slower look the same size
    axes.axhline(1.0, color="black", linewidth=0.8)
    axes.set_xticks(range(len(groups)), [label for label, _ in groups], fontsize=8)
    axes.set_ylabel("requests/s, ratio to Apache + mod_jk + Tomcat (log scale)")
    axes.set_title("Requests per second relative to the mod_jk peer (median of the rounds)")
    axes.legend(fontsize=8)
    figure.tight_layout()
    figure.savefig(path, dpi=110)
    plt.close(figure)


def write(out, systems, results, options, timing, counts, elapsed):
    lines = ["# Benchmarks: Brevant's connectors against the peers", "",
             f"Measured {datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC on "
             f"{_machine()}, in {elapsed / 60:.1f} minutes.", "",
             "Versions:", "", *_versions(), "",
             f"Every cell ran {options.rounds} times for {options.seconds} s (after one "
             f"unmeasured run of {options.warmup} s), in rounds that visit every cell once; "
             "the tables show medians, and the lowest and highest request rate in "
             "parentheses. CPU seconds and peak resident memory are those of the server "
             "processes (isapihost and its JVM, the instance, Apache and Tomcat, nginx), read "
             "from /proc; memory is sampled every 0.1 s. MB/s counts response bytes read and "
             f"request bodies sent. Every JVM has -Xmx256m and every Java side "
             f"{options.threads} request threads. wrk runs on the same 2 cores as the "
             "servers, for every system alike.", "",
             "Brevant_ISAPI does not keep the client's connection (its extension does not ask "
             "the web server to), nor does Brevant_Adapter without keepalive (it answers "
             "\"Connection: close\" and opens one instance connection per request), so their "
             "keep-alive rows measure a new client connection per request too. With keepalive "
             "the adapter keeps its instance connections, and the client's when the response "
             "has a Content-Length. That is the product's contract, reported as it is: "
             "\"closed by server\" counts the connections closed after an answer that had no "
             "length or did not say \"Connection: close\" (wrk reports them as read "
             "errors); \"errors\" "
             "counts failed connects and writes, time-outs and answers other than 2xx or 3xx, "
             "summed over the rounds.", ""]
    for scenario in plan.SCENARIOS:
        lines += [f"## {scenario.title}, {connections(scenario.connections)}", "",
                  *_scenario_table(scenario, systems, results), ""]
    container = _container_table(systems, results)
    if container:
        lines += ["## The Hello page through the container, against the built-in page", "",
                  "Per connector, the Hello page of the benchmark's web application in the "
                  "embedded Tomcat 10.1 (bench/webapp: the Tomcat peer's Hello servlet), against "
                  "the built-in page (`/servlet/Hello`) through the same connector in the same "
                  "run. The ratio is that of the medians: 1.00 means the container costs "
                  "nothing over the built-in page, 0.50 that it halves the request rate.", "",
                  *container, ""]
    lines += ["## How the cost grows with load: Hello page, keep-alive", "",
              *_load_table(systems, results), "",
              "## The native per-request path", "",
              "Google Benchmark, fake control blocks, no network (bench/micro):", "",
              "```", timing.strip(), "```", "",
              "Instructions per request under callgrind (repeatable on a busy machine). The "
              "fakes stand in for the web server's callbacks (reading headers and server "
              "variables, writing to the client); the last column is the connector's own "
              "code:", "",
              counts.strip(), "",
              "## How it was run", "", *_commands(systems, options), ""]
    (out / "report.md").write_text("\n".join(lines))
    _chart(out / "report.png", systems, results)
