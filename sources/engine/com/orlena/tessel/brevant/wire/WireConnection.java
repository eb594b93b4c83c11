package com.orlena.tessel.brevant.wire;

import com.orlena.tessel.brevant.apps.Applications;
import java.io.BufferedInputStream;
import java.io.BufferedOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.PrintStream;
import java.net.Socket;
import java.net.SocketTimeoutException;
import java.util.function.BooleanSupplier;

/**
 * One adapter connection, on the thread that runs it: serves its exchanges one after
 * the other while they end with command 3, then closes it.
 *
 * Between exchanges the connection keeps its thread, polling for the next head in short
 * slices, and lets go as soon as the thread is wanted (a new connection waits in the
 * pool's queue, or the instance stops) or the connection idled past its read time-out.
 * That keeps one blocking thread per connection, as for the exchange itself, instead of
 * a selector handing idle connections back and forth; the cost is a wake-up per slice
 * and up to one slice of delay for a connection queued behind idle ones. Closing an idle
 * connection is always allowed: the adapter checks a pooled connection before reuse and
 * sends a safe request again on a new one.
 */
public final class WireConnection {
    /** How often an idle connection checks whether its thread is wanted. */
    static final int IDLE_SLICE_MILLIS = 50;

    private final Socket socket;
    private final Applications apps;
    private final PrintStream log;
    private final BooleanSupplier threadWanted;

    /** threadWanted: asked from this connection's thread after each exchange and while it idles; true ends the connection. */
    public WireConnection(Socket socket, Applications apps, PrintStream log, BooleanSupplier threadWanted) {
        this.socket = socket;
        this.apps = apps;
        this.log = log;
        this.threadWanted = threadWanted;
    }

    /** REQUIRES: the socket's read time-out is already set. Closes the socket. */
    public void run() {
        try (Socket s = socket) {
            InputStream in = new BufferedInputStream(s.getInputStream(), 64 * 1024);
            OutputStream out = new BufferedOutputStream(s.getOutputStream(), WireCommands.MAX_FRAME + 5);
            // The adapter's port tells its connections apart in the log.
            String peer = s.getInetAddress().getHostAddress() + ":" + s.getPort();
            WireExchange exchange = new WireExchange(in, out, new WireHeadReader(in), apps, log, peer);
            // Also between two exchanges in a row: a busy kept connection never idles, and a
            // stopping instance must not wait for it to.
            for (boolean reused = false;
                 exchange.run(reused) && !threadWanted.getAsBoolean() && awaitNextHead(in);
                 reused = true) {
                // one exchange per turn
            }
        } catch (IOException e) {
            // Closing, or idling on, a connection the adapter already gave up: nothing to report.
        }
    }

    /** Whether the next head's first byte has arrived; false when the connection is to end. */
    private boolean awaitNextHead(InputStream in) throws IOException {
        int readTimeout = socket.getSoTimeout();
        long idleSince = System.nanoTime();
        socket.setSoTimeout(IDLE_SLICE_MILLIS);
        try {
            for (;;) {
                in.mark(1);
                try {
                    if (in.read() < 0) {
                        return false;
                    }
                    in.reset();
                    return true;
                } catch (SocketTimeoutException e) {
                    long idleMillis = (System.nanoTime() - idleSince) / 1_000_000;
                    if (threadWanted.getAsBoolean() || (readTimeout > 0 && idleMillis >= readTimeout)) {
                        return false;
                    }
                }
            }
        } finally {
            socket.setSoTimeout(readTimeout);
        }
    }
}
