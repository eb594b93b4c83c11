"""The systems under test: how each is configured, started on loopback and stopped.

Every system serves the same three applications (a short Hello page, a 1 MiB response,
an upload answered with its length) under the same paths; nginx, the limit, serves the
first two as static files. The `_webapp` variants of our two systems serve the Hello page
alone, through the embedded Tomcat (bench/webapp), beside the built-in one. Every JVM gets a
256 MB heap at most, and every Java side the same number of request threads.
"""

import os
import shutil
import signal
import socket
import string
import subprocess
import time
import urllib.request
from dataclasses import dataclass, field
from pathlib import Path

BENCH = Path(__file__).resolve().parent
HELLO_PAGE = (b"<html><head><title>Hello</title></head><body><h1>Hello from Brevant</h1>"
              b"</body></html>\n")
MIB = 1024 * 1024
HEAP = "-Xmx256m"
AJP_SECRET = "bench-secret"
TOMCAT_JARS = [f"/usr/share/java/tomcat10-{name}.jar" for name in (
    "servlet-api", "catalina", "coyote", "api", "util", "juli", "util-scan", "annotations-api",
    "jaspic-api")]
SERVLET_API_JAR = TOMCAT_JARS[0]  # all a web application's classes compile against
START_SECONDS = 60
# The benchmark's web application and the Hello page's URL through it.
WEBAPP_NAME = "bench"
WEBAPP_HELLO = f"/{WEBAPP_NAME}/hello"


class StartError(RuntimeError):
    pass


_ports_given = set()


def free_port():
    """A loopback port free now and not given out before in this run."""
    while True:
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        if port not in _ports_given:
            _ports_given.add(port)
            return port


def fill_template(source, target, **values):
    target.write_text(string.Template(source.read_text()).substitute(values))


def http_get(url, timeout=5):
    with urllib.request.urlopen(url, timeout=timeout) as answer:
        return answer.read()


class Server:
    """One server process in a session of its own, its output in a log file."""

    def __init__(self, name, command, log, env=None, ready_line=None, ready_url=None):
        self.name, self.command, self.log = name, command, log
        self.env = dict(os.environ, **(env or {}))
        self.ready_line, self.ready_url = ready_line, ready_url
        self.process = None

    @property
    def session(self):
        return self.process.pid

    def start(self):
        with open(self.log, "wb") as log:
            self.process = subprocess.Popen(self.command, stdout=log, stderr=subprocess.STDOUT,
                                            stdin=subprocess.DEVNULL, env=self.env,
                                            start_new_session=True)
        deadline = time.monotonic() + START_SECONDS
        while not self._ready():
            if self.process.poll() is not None:
                raise StartError(f"{self.name} ended at start (status {self.process.returncode}); "
                                 f"its log {self.log}:\n{Path(self.log).read_text()[-2000:]}")
            if time.monotonic() > deadline:
                raise StartError(f"{self.name} not ready after {START_SECONDS} s; see {self.log}")
            time.sleep(0.1)

    def _ready(self):
        if self.ready_line is not None:
            return any(line.startswith(self.ready_line)
                       for line in Path(self.log).read_text(errors="replace").splitlines())
        try:
            http_get(self.ready_url, timeout=1)
            return True
        except OSError:
            return False

    def stop(self):
        if self.process is None or self.process.poll() is not None:
            return
        self.process.send_signal(signal.SIGTERM)
        try:
            self.process.wait(timeout=15)
        except subprocess.TimeoutExpired:
            os.killpg(self.process.pid, signal.SIGKILL)
            self.process.wait()
        # A server's own children (Apache's, nginx's workers) go with it.
        try:
            os.killpg(self.process.pid, signal.SIGKILL)
        except ProcessLookupError:
            pass


@dataclass
class System:
    key: str
    label: str  # for the report's tables
    short: str  # for progress lines
    hello: str
    mib: str | None
    upload: str | None
    servers: list = field(default_factory=list)
    port: int = 0

    def url(self, path):
        return f"http://127.0.0.1:{self.port}{path}"

    @property
    def sessions(self):
        return {server.session for server in self.servers}

    def start(self):
        for server in self.servers:
            server.start()

    def stop(self):
        for server in reversed(self.servers):
            server.stop()

    def check(self):
        """Fails unless every application answers as it should: a wrong answer would make
        every number of this system meaningless."""
        if http_get(self.url(self.hello)) != HELLO_PAGE:
            raise StartError(f"{self.label}: {self.hello} does not answer the Hello page")
        if self.mib is not None and len(http_get(self.url(self.mib))) != MIB:
            raise StartError(f"{self.label}: {self.mib} does not answer 1 MiB")
        if self.upload is not None:
            request = urllib.request.Request(self.url(self.upload), data=b"u" * 1000,
                                             method="POST")
            with urllib.request.urlopen(request, timeout=5) as answer:
                if not answer.read().startswith(b"length=1000 "):
                    raise StartError(f"{self.label}: {self.upload} does not count the body")


SERVLET_PATHS = dict(hello="/servlet/Hello", mib=f"/servlet/Stream?bytes={MIB}",
                     upload="/servlet/Upload")


class Setup:
    """What the systems are built from: the build's outputs, a work folder, the thread count."""

    def __init__(self, build, work, threads, jvm_options=()):
        self.build, self.work, self.threads = Path(build), Path(work), threads
        self.jvm_options = list(jvm_options)  # extra options for our two JVMs
        self.out = self.build / "out"
        java = Path(os.path.realpath(shutil.which("java")))
        self.java_home = java.parent.parent
        self.tomcat_classes = self.work / "tomcat-classes"
        self.webapp = self.work / "webapp"  # compiled once, copied into each webapps folder

    def folder(self, name):
        path = self.work / name
        path.mkdir(parents=True, exist_ok=True)
        return path

    def isapihost(self, name, folder, module, env):
        """isapihost on a free port with `module` in /Scripts, loaded as its filter."""
        port = free_port()
        scripts, www = folder / "scripts", folder / "www"
        scripts.mkdir(exist_ok=True)
        www.mkdir(exist_ok=True)
        shutil.copy(self.out / "modules" / module, scripts)
        command = [str(self.out / "bin" / "isapihost"), "--port", str(port), "--root", str(www),
                   "--vdir", f"/Scripts={scripts},execute", "--filter", str(scripts / module),
                   "--threads", str(self.threads)]
        return port, Server(name, command, folder / "isapihost.log", env=env,
                            ready_line="isapihost: listening on")

    def inprocess(self, webapp=False):
        """With `webapp` the engine runs the container too, with the benchmark's web
        application deployed, and the Hello page is the application's."""
        key = "inprocess_webapp" if webapp else "inprocess"
        folder = self.folder(key)
        home = folder / "home"
        for sub in ("lib", "Servlets", "Brevant Data"):
            (home / sub).mkdir(parents=True, exist_ok=True)
        shutil.copy(self.out / "java" / "Brevant30.jar", home / "lib")
        # 256 MB of heap (in kilobytes), as every JVM here gets, and the JIT on.
        (home / "Brevant Data" / "VMSettings.pref").write_text(
            "maxHeapSize=262144\nenableJITC=true\n")
        if self.jvm_options:
            (home / "Brevant Data" / "vmoptions.properties").write_text(
                "".join(f"{option}\n" for option in self.jvm_options))
        if webapp:
            (home / "Brevant Data" / "Classpath.pref").write_text(
                f"{home / 'lib' / 'Brevant30.jar'}\n{self.out / 'java' / 'BrevantTomcat.jar'}\n")
            self.deploy_webapp(home / "Brevant Data" / "webapps")
        (folder / "registry.reg").write_text(
            "REGEDIT4\n\n"
            f"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlena\\Brevant ISAPI]\n\"Home\"=\"{home}\"\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JDK]\n\"CurrentVersion\"=\"17\"\n\n"
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft\\JDK\\17]\n"
            f"\"JavaHome\"=\"{self.java_home}\"\n\n")
        port, host = self.isapihost(
            "isapihost with Brevant_ISAPI", folder, "Brevant_ISAPI.dll",
            env=dict(STANDIN_REGISTRY=str(folder / "registry.reg"),
                     STANDIN_DEBUG_OUTPUT=str(folder / "debug.txt")))
        if webapp:
            return System(key, "in-process through Tomcat (Brevant_ISAPI, web application)",
                          "in-process webapp", WEBAPP_HELLO, None, None, servers=[host],
                          port=port)
        return System(key, "in-process (Brevant_ISAPI)", "in-process", servers=[host], port=port,
                      **SERVLET_PATHS)

    def adapter(self, keepalive=False, webapp=False):
        """With `keepalive` the group keeps as many instance connections as the instance has
        request threads, and the client's connection stays open when the instance says so.
        With `webapp` the instance runs the container with the benchmark's web application
        deployed, and the Hello page is the application's."""
        key = "adapter_keepalive" if keepalive else "adapter_webapp" if webapp else "adapter"
        folder = self.folder(key)
        instance_port = free_port()
        jars = [self.out / "java" / "Brevant30.jar"]
        webapps = []
        if webapp:
            jars.append(self.out / "java" / "BrevantTomcat.jar")
            self.deploy_webapp(folder / "webapps")
            webapps = ["--webapps", str(folder / "webapps")]
        instance = Server("the application-server instance",
                          ["java", HEAP, *self.jvm_options, "-cp", ":".join(map(str, jars)),
                           "com.orlena.tessel.brevant.server.AppServer", "--port", str(instance_port),
                           "--threads", str(self.threads), *webapps],
                          folder / "appserver.log", ready_line="AppServer: listening on port")
        port, host = self.isapihost(
            "isapihost with Brevant_Adapter", folder, "Brevant_Adapter.dll",
            env=dict(STANDIN_REGISTRY=str(folder / "registry.reg"),
                     STANDIN_DEBUG_OUTPUT=str(folder / "debug.txt")))
        applications = "/servlet/" + (f",/{WEBAPP_NAME}/" if webapp else "")
        (folder / "scripts" / "brevant.properties").write_text(
            f"brevant.default.instances=127.0.0.1:{instance_port}\r\n"
            f"brevant.default.applications={applications}\r\n"
            + (f"brevant.default.keepalive={self.threads}\r\n" if keepalive else ""))
        if webapp:
            return System(key, "adapter through Tomcat (Brevant_Adapter, web application)",
                          "adapter webapp", WEBAPP_HELLO, None, None, servers=[instance, host],
                          port=port)
        if keepalive:
            label, short = "adapter (Brevant_Adapter, keepalive)", "adapter keepalive"
        else:
            label, short = "adapter (Brevant_Adapter)", "adapter"
        return System(key, label, short, servers=[instance, host], port=port, **SERVLET_PATHS)

    def tomcat(self, name, folder, connector_options, ready):
        classpath = ":".join([str(self.tomcat_classes)] + TOMCAT_JARS)
        return Server(name, ["java", HEAP, "-cp", classpath, "BenchTomcat", "--base",
                             str(folder / "tomcat-base"), "--threads", str(self.threads)]
                      + connector_options, folder / "tomcat.log", ready_line=ready)

    def mod_jk(self):
        folder = self.folder("mod_jk")
        ajp_port, port = free_port(), free_port()
        tomcat = self.tomcat("Tomcat (AJP)", folder,
                             ["--ajp-port", str(ajp_port), "--ajp-secret", AJP_SECRET],
                             "BenchTomcat: ready")
        workers = folder / "workers.properties"
        fill_template(BENCH / "peers" / "workers.properties", workers, AJP_PORT=ajp_port,
                      SECRET=AJP_SECRET)
        fill_template(BENCH / "peers" / "httpd.conf", folder / "httpd.conf", PORT=port,
                      WORK=folder, AJP_PORT=ajp_port, SECRET=AJP_SECRET, WORKERS_FILE=workers)
        apache = Server("Apache httpd with mod_jk",
                        ["apache2", "-f", str(folder / "httpd.conf"), "-DFOREGROUND"],
                        folder / "apache2.log",
                        ready_url=f"http://127.0.0.1:{port}{SERVLET_PATHS['hello']}")
        return System("mod_jk", "peer: Apache + mod_jk + Tomcat 10.1 (AJP)", "mod_jk",
                      servers=[tomcat, apache], port=port, **SERVLET_PATHS)

    def tomcat_http(self):
        folder = self.folder("tomcat")
        port = free_port()
        tomcat = self.tomcat("Tomcat (HTTP)", folder, ["--http-port", str(port)],
                             "BenchTomcat: ready")
        return System("tomcat", "peer: Tomcat 10.1 HTTP", "Tomcat HTTP", servers=[tomcat], port=port,
                      **SERVLET_PATHS)

    def nginx(self):
        folder = self.folder("nginx")
        www = folder / "www"
        www.mkdir(exist_ok=True)
        (www / "hello.html").write_bytes(HELLO_PAGE)
        (www / "1mib.bin").write_bytes(bytes(97 + i % 26 for i in range(32768)) * 32)
        port = free_port()
        fill_template(BENCH / "nginx.conf", folder / "nginx.conf", PORT=port, WORK=folder)
        server = Server("nginx", ["nginx", "-c", str(folder / "nginx.conf"), "-p", str(folder)],
                        folder / "nginx.log", ready_url=f"http://127.0.0.1:{port}/hello.html")
        return System("nginx", "limit: nginx (static files)", "nginx", "/hello.html", "/1mib.bin", None,
                      servers=[server], port=port)

    def compile_tomcat_peer(self):
        self.tomcat_classes.mkdir(parents=True, exist_ok=True)
        subprocess.run(["javac", "--release", "17", "-nowarn", "-d", str(self.tomcat_classes),
                        "-cp", ":".join(TOMCAT_JARS)]
                       + [str(p) for p in sorted((BENCH / "peers").glob("*.java"))], check=True)

    def deploy_webapp(self, webapps):
        """Puts the benchmark's web application into `webapps`, with the peer's Hello servlet
        compiled against the servlet API alone, as an application's classes are."""
        if not self.webapp.exists():
            shutil.copytree(BENCH / "webapp", self.webapp)
            subprocess.run(["javac", "--release", "17", "-nowarn", "-cp", SERVLET_API_JAR,
                            "-d", str(self.webapp / "WEB-INF" / "classes"),
                            str(BENCH / "peers" / "HelloServlet.java"),
                            str(BENCH / "peers" / "SmallPage.java")], check=True)
        shutil.copytree(self.webapp, webapps / WEBAPP_NAME)

    def systems(self, keys=None):
        """The systems named by `keys` (all when None), configured but not started."""
        makers = dict(inprocess=self.inprocess, adapter=self.adapter,
                      adapter_keepalive=lambda: self.adapter(keepalive=True),
                      inprocess_webapp=lambda: self.inprocess(webapp=True),
                      adapter_webapp=lambda: self.adapter(webapp=True), mod_jk=self.mod_jk,
                      tomcat=self.tomcat_http, nginx=self.nginx)
        keys = keys or list(makers)
        if {"mod_jk", "tomcat"} & set(keys):
            self.compile_tomcat_peer()
        return [makers[key]() for key in keys]
