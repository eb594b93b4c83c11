import jakarta.servlet.Servlet;
import java.io.File;
import java.io.IOException;
import java.nio.file.Files;
import java.util.logging.Level;
import java.util.logging.Logger;
import org.apache.catalina.Context;
import org.apache.catalina.LifecycleException;
import org.apache.catalina.LifecycleState;
import org.apache.catalina.connector.Connector;
import org.apache.catalina.core.StandardContext;
import org.apache.catalina.startup.Tomcat;

/**
 * Embedded Tomcat serving Hello, Stream and Upload as the Brevant engine does, over HTTP,
 * AJP or both: the peer the benchmark measures our connectors against. Prints one line
 * "BenchTomcat: ready ..." once every connector listens; SIGTERM stops it with status 0.
 */
public final class BenchTomcat {
    private static final String LOOPBACK = "127.0.0.1";
    // The listen backlog: the benchmark opens up to 256 connections at once, and a burst of
    // connects must never overflow it.
    private static final String ACCEPT_COUNT = "1024";
    // Tomcat's own NIO default, stated so it cannot drift: far above what the benchmark opens.
    private static final String MAX_CONNECTIONS = "8192";
    // Unlimited, as for every system in the benchmark: no server-side close every Nth request.
    private static final String UNLIMITED_KEEP_ALIVE_REQUESTS = "-1";
    // Apache in front of the AJP peer keeps idle client connections 15 s; the same here.
    private static final String KEEP_ALIVE_TIMEOUT_MS = "15000";
    // AJP's largest packet; mod_jk's max_packet_size in workers.properties must match.
    private static final String AJP_PACKET_SIZE = "8192";
    // Held strongly: java.util.logging keeps loggers weakly and would forget the level.
    private static final Logger TOMCAT_LOG = Logger.getLogger("org.apache");

    private BenchTomcat() {
    }

    public static void main(String[] args) {
        BenchTomcatOptions options = BenchTomcatOptions.parse(args);
        if (options.error != null) {
            System.err.println("BenchTomcat: " + options.error);
            System.err.println(BenchTomcatOptions.USAGE);
            System.exit(2);
        }
        quietLogging();
        Tomcat tomcat = new Tomcat();
        try {
            configure(tomcat, options);
            tomcat.start();
            requireStarted(tomcat);
        } catch (IOException | LifecycleException | IllegalStateException e) {
            System.err.println("BenchTomcat: cannot start: " + e);
            stopQuietly(tomcat);
            System.exit(1);
        }
        Runtime.getRuntime().addShutdownHook(new Thread(() -> stopOnSignal(tomcat), "stop"));
        System.out.println("BenchTomcat: ready" + ports(options));
        System.out.flush();
        // Tomcat's non-daemon threads keep the process alive until SIGTERM.
    }

    private static void quietLogging() {
        Logger.getLogger("").setLevel(Level.WARNING);
        TOMCAT_LOG.setLevel(Level.WARNING);
    }

    private static void configure(Tomcat tomcat, BenchTomcatOptions options) throws IOException {
        File base = new File(options.base).getAbsoluteFile();
        Files.createDirectories(base.toPath());
        tomcat.setBaseDir(base.getPath());
        // tomcat.getConnector() is never called: it would add an HTTP connector on 8080.
        if (options.httpPort > 0) {
            Connector http = connector("HTTP/1.1", options.httpPort, options.threads);
            set(http, "keepAliveTimeout", KEEP_ALIVE_TIMEOUT_MS);
            tomcat.getService().addConnector(http);
        }
        if (options.ajpPort > 0) {
            Connector ajp = connector("AJP/1.3", options.ajpPort, options.threads);
            set(ajp, "secret", options.ajpSecret);
            set(ajp, "secretRequired", "true");
            set(ajp, "packetSize", AJP_PACKET_SIZE);
            tomcat.getService().addConnector(ajp);
        }
        // No web.xml, JSP, default servlet or welcome files: just the three servlets.
        Context context = tomcat.addContext("", base.getPath());
        serve(context, "Hello", new HelloServlet());
        serve(context, "Stream", new StreamServlet());
        serve(context, "Upload", new UploadServlet());
        skipLeakChecks(context);
    }

    private static Connector connector(String protocol, int port, int threads) {
        Connector connector = new Connector(protocol);
        connector.setPort(port);
        set(connector, "address", LOOPBACK);
        // A fixed pool of request threads, the same number our instance is given.
        set(connector, "maxThreads", Integer.toString(threads));
        set(connector, "minSpareThreads", Integer.toString(threads));
        set(connector, "maxKeepAliveRequests", UNLIMITED_KEEP_ALIVE_REQUESTS);
        set(connector, "acceptCount", ACCEPT_COUNT);
        set(connector, "maxConnections", MAX_CONNECTIONS);
        return connector;
    }

    // setProperty answers false for a name the protocol does not know; a typo must not pass.
    private static void set(Connector connector, String name, String value) {
        if (!connector.setProperty(name, value)) {
            throw new IllegalStateException(connector.getProtocol() + " has no property " + name);
        }
    }

    private static void serve(Context context, String name, Servlet servlet) {
        Tomcat.addServlet(context, name, servlet);
        context.addServletMapping("/servlet/" + name, name);
    }

    // The leak checks protect redeployed web applications; this context is never redeployed,
    // and on Java 17 they only warn at stop that they would need --add-opens.
    private static void skipLeakChecks(Context context) {
        if (context instanceof StandardContext standard) {
            standard.setClearReferencesObjectStreamClassCaches(false);
            standard.setClearReferencesThreadLocals(false);
            standard.setClearReferencesRmiTargets(false);
        }
    }

    // Tomcat logs a connector that failed to bind instead of failing start(); look for it.
    private static void requireStarted(Tomcat tomcat) {
        for (Connector connector : tomcat.getService().findConnectors()) {
            if (connector.getState() != LifecycleState.STARTED) {
                throw new IllegalStateException(
                    connector + " is " + connector.getState() + ", not started");
            }
        }
    }

    private static String ports(BenchTomcatOptions options) {
        String http = options.httpPort > 0 ? " http=" + options.httpPort : "";
        String ajp = options.ajpPort > 0 ? " ajp=" + options.ajpPort : "";
        return http + ajp;
    }

    private static void stopOnSignal(Tomcat tomcat) {
        stopQuietly(tomcat);
        System.out.flush();
        // A JVM ended by SIGTERM reports 143 even after a clean stop; this stop was asked for.
        Runtime.getRuntime().halt(0);
    }

    private static void stopQuietly(Tomcat tomcat) {
        try {
            tomcat.stop();
            tomcat.destroy();
        } catch (LifecycleException e) {
            System.err.println("BenchTomcat: stop: " + e);
        }
    }
}
