package com.orlena.tessel.brevant.server;

import com.orlena.tessel.brevant.apps.Applications;
import com.orlena.tessel.brevant.webapps.WebApplications;
import com.orlena.tessel.brevant.wire.WireConnection;
import java.io.IOException;
import java.io.PrintStream;
import java.net.ServerSocket;
import java.net.Socket;
import java.net.SocketException;
import java.nio.file.Paths;
import java.util.concurrent.CountDownLatch;
import java.util.concurrent.LinkedBlockingQueue;
import java.util.concurrent.RejectedExecutionException;
import java.util.concurrent.ThreadPoolExecutor;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicReference;

/**
 * The application-server instance: accepts adapter connections and serves each on a
 * thread of a fixed pool, for as many exchanges as the adapter keeps it. A kept
 * connection gives its thread up when another connection waits for one (see
 * WireConnection). The accepting thread only hands connections over.
 *
 *   java -cp Brevant30.jar com.orlena.tessel.brevant.server.AppServer --port 8888
 *        [--read-timeout SECONDS] [--threads N] [--webapps DIR]
 *        [--admin-port N --admin-user U --admin-password P]
 *
 * With --admin-port, AdminPort lets StopServer stop the instance; the process then exits 0.
 * With --webapps, the web applications of DIR are served too (see WebApplications); the
 * container's jars must then be on the class path.
 */
public final class AppServer {
    private final ServerSocket listener;
    private final Applications apps;
    private final int readTimeoutMillis;
    private final ThreadPoolExecutor pool;
    private final PrintStream log;
    private volatile boolean serving;
    private final CountDownLatch acceptsEnded = new CountDownLatch(1);
    private final AtomicReference<WebApplications> webApplications = new AtomicReference<>();

    public AppServer(int port, Applications apps, int readTimeoutMillis, int threads, PrintStream log)
        throws IOException {
        this.listener = new ServerSocket(port, 128);
        this.apps = apps;
        this.readTimeoutMillis = readTimeoutMillis;
        this.pool = new ThreadPoolExecutor(threads, threads, 0, TimeUnit.MILLISECONDS, new LinkedBlockingQueue<>());
        this.log = log;
    }

    /** The container close() stops once the requests have ended. */
    public void stopsWith(WebApplications web) {
        webApplications.set(web);
    }

    public int port() {
        return listener.getLocalPort();
    }

    /** Accepts until close() is called; returns then. */
    public void serve() {
        serving = true;
        try {
            acceptUntilClosed();
        } finally {
            acceptsEnded.countDown();
        }
    }

    private void acceptUntilClosed() {
        while (!listener.isClosed()) {
            Socket socket;
            try {
                socket = listener.accept();
            } catch (IOException e) {
                if (listener.isClosed()) {
                    break;
                }
                log.println("AppServer: accept failed: " + e.getMessage());
                continue;
            }
            try {
                // A relay that stops short must not hold a pool thread forever.
                socket.setSoTimeout(readTimeoutMillis);
                socket.setTcpNoDelay(true);
            } catch (SocketException e) {
                closeQuietly(socket);
                continue;
            }
            try {
                pool.execute(new WireConnection(socket, apps, log, this::threadWanted)::run);
            } catch (RejectedExecutionException e) {
                // close() ran between accept and here: the instance is stopping.
                closeQuietly(socket);
                break;
            }
        }
    }

    /** Whether an idle kept connection should give its thread up: work waits, or the instance stops. */
    private boolean threadWanted() {
        return pool.isShutdown() || !pool.getQueue().isEmpty();
    }

    public void close() {
        try {
            listener.close();
        } catch (IOException e) {
            // Closing only to stop accepting; nothing to recover.
        }
        // A connection accepted just before the close is handed to the pool before the pool
        // stops taking work: closed unanswered, it would fail a request nobody can send again.
        try {
            if (serving) {
                acceptsEnded.await(1, TimeUnit.SECONDS);
            }
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
        pool.shutdown();
        try {
            pool.awaitTermination(5, TimeUnit.SECONDS);
        } catch (InterruptedException e) {
            Thread.currentThread().interrupt();
        }
        // Once only: the shutdown hook closes again after a stop through the admin port.
        WebApplications web = webApplications.getAndSet(null);
        if (web != null) {
            web.stop();
        }
    }

    private static void closeQuietly(Socket socket) {
        try {
            socket.close();
        } catch (IOException e) {
            // The connection is being given up anyway.
        }
    }

    public static void main(String[] args) {
        AppServerOptions options = AppServerOptions.parse(args);
        if (options.error != null) {
            System.err.println("AppServer: " + options.error);
            System.err.println(AppServerOptions.USAGE);
            System.exit(2);
        }
        Applications apps = Applications.builtIn();
        WebApplications web = null;
        if (options.webapps != null) {
            try {
                web = WebApplications.start(Paths.get(options.webapps));
                apps.mount(web::serves, web, web.hasRoot());
            } catch (IOException | RuntimeException | LinkageError e) {
                System.err.println("AppServer: cannot serve the web applications of " + options.webapps + ": " + e);
                System.exit(1);
                return;
            }
        }
        AppServer server;
        try {
            server = new AppServer(options.port, apps, options.readTimeoutSeconds * 1000,
                                   options.threads, System.out);
        } catch (IOException e) {
            System.err.println("AppServer: cannot listen on port " + options.port + ": " + e.getMessage());
            System.exit(1);
            return;
        }
        server.stopsWith(web);
        AdminPort admin = null;
        if (options.adminPort >= 0) {
            try {
                admin = new AdminPort(options.adminPort,
                                      new AdminCredentials(options.adminUser, options.adminPassword),
                                      server::close, System.out);
            } catch (IOException e) {
                System.err.println("AppServer: cannot listen on admin port " + options.adminPort + ": "
                                   + e.getMessage());
                server.close();
                System.exit(1);
                return;
            }
            System.out.println("AppServer: admin port " + admin.port() + " on the loopback address");
        }
        Runtime.getRuntime().addShutdownHook(new Thread(server::close));
        System.out.println("AppServer: listening on port " + server.port());
        System.out.flush();
        server.serve();
        // serve() returns only once the listener is closed, here by the admin port's STOP.
        if (admin != null) {
            admin.close();
        }
        server.close();
        System.out.println("AppServer: stopped");
        System.out.flush();
        System.exit(0);
    }
}
