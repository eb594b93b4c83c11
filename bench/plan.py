"""What ./dev bench measures: the scenarios, which systems serve each, and in what order."""

from dataclasses import dataclass

MIB = 1024 * 1024
UPLOAD_BYTES = 10 * MIB
LOAD_CONNECTIONS = (1, 16, 64, 256)
LOAD_SYSTEMS = ("inprocess", "adapter", "adapter_keepalive", "mod_jk")
BASELINE = "mod_jk"
# Each connector's Hello page through the embedded container, beside its built-in page:
# (built-in system, web-application system).
CONTAINER_PAIRS = (("inprocess", "inprocess_webapp"), ("adapter", "adapter_webapp"))


@dataclass(frozen=True)
class Scenario:
    key: str
    title: str
    short: str  # for the chart's axis
    app: str  # the System attribute naming the path: hello, mib or upload
    connections: int
    close_each: bool = False

    @property
    def body_bytes(self):
        return UPLOAD_BYTES if self.app == "upload" else 0


SCENARIOS = (
    Scenario("hello_close", "Hello page, a new connection per request", "Hello, new conn.", "hello",
             64, True),
    Scenario("hello_keepalive", "Hello page, keep-alive", "Hello, keep-alive", "hello", 64),
    Scenario("mib", "1 MiB response", "1 MiB", "mib", 16),
    Scenario("upload", "10 MiB upload", "10 MiB upload", "upload", 8),
)
# How the cost grows with load; 64 connections is the keep-alive scenario above.
LOAD_SCENARIOS = tuple(
    Scenario(f"load_{n}", "Hello page, keep-alive", "Hello, keep-alive", "hello", n)
    for n in LOAD_CONNECTIONS if n != 64)


def load_scenario(connections):
    return next(s for s in SCENARIOS + LOAD_SCENARIOS
                if s.app == "hello" and not s.close_each and s.connections == connections)


@dataclass(frozen=True)
class Cell:
    scenario: Scenario
    system: object  # systems.System


def cells(systems):
    """Every (scenario, system) pair to measure, in the order of one round."""
    chosen = []
    for scenario in SCENARIOS:
        chosen += [Cell(scenario, s) for s in systems if getattr(s, scenario.app) is not None]
    for scenario in LOAD_SCENARIOS:
        chosen += [Cell(scenario, s) for s in systems if s.key in LOAD_SYSTEMS]
    return chosen
