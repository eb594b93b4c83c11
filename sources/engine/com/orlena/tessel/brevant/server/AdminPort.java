package com.orlena.tessel.brevant.server;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.PrintStream;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.nio.charset.StandardCharsets;

/**
 * The instance's admin port: lets the stop client ask the instance to stop.
 *
 * <p>Protocol, one command per connection, text in UTF-8:
 * <pre>
 *   client: STOP [&lt;user&gt; &lt;password&gt;]\n      (a "\r" before the "\n" is ignored)
 *   server: OK\n       the instance has stopped accepting and its running requests have ended
 *           DENIED\n   user or password do not match the instance's --admin-user / --admin-password
 *           ERROR\n    anything else (unknown command, line longer than 1024 bytes, no line in 10 s)
 *   then the server closes the connection.
 * </pre>
 * The user is the word after "STOP"; the password is the rest of the line, so it may hold spaces.
 * An instance started without --admin-user / --admin-password takes them as empty and so accepts
 * a bare "STOP". OK is written only after the stop action has returned, so a client that reads OK
 * knows the listening port is already closed.
 *
 * <p>The port listens on the loopback address only: stopping is a local administration act, and
 * the credentials cross the connection in clear text.
 */
final class AdminPort {
    static final int MAX_LINE = 1024;
    static final int READ_TIMEOUT_MILLIS = 10_000;

    private final ServerSocket listener;
    private final AdminCredentials credentials;
    private final Runnable stopAction;
    private final PrintStream log;
    private final Thread thread;

    /** Binds the port and starts serving it; stopAction runs once, on the admin thread. */
    AdminPort(int port, AdminCredentials credentials, Runnable stopAction, PrintStream log) throws IOException {
        this.listener = new ServerSocket(port, 4, InetAddress.getLoopbackAddress());
        this.credentials = credentials;
        this.stopAction = stopAction;
        this.log = log;
        this.thread = new Thread(this::serve, "brevant-admin");
        // The admin port must never be what keeps a stopped instance alive.
        this.thread.setDaemon(true);
        this.thread.start();
    }

    int port() {
        return listener.getLocalPort();
    }

    void close() {
        try {
            listener.close();
        } catch (IOException e) {
            // Closing only to stop accepting; nothing to recover.
        }
    }

    /** One connection at a time: stop requests are rare, and serial handling runs the stop action once. */
    private void serve() {
        while (!listener.isClosed()) {
            try (Socket socket = listener.accept()) {
                socket.setSoTimeout(READ_TIMEOUT_MILLIS);
                if (handle(socket)) {
                    close();
                }
            } catch (IOException e) {
                if (!listener.isClosed()) {
                    log.println("AppServer: admin connection failed: " + e.getMessage());
                }
            }
        }
    }

    /** Answers one command; true when the instance has been stopped. */
    private boolean handle(Socket socket) throws IOException {
        String line = readLine(socket.getInputStream());
        OutputStream out = socket.getOutputStream();
        AdminCommand command = AdminCommand.parse(line);
        if (command == null) {
            log.println("AppServer: admin port: unexpected command");
            answer(out, "ERROR");
            return false;
        }
        if (!credentials.match(command.user, command.password)) {
            log.println("AppServer: admin port: STOP denied, bad user or password");
            answer(out, "DENIED");
            return false;
        }
        log.println("AppServer: admin port: STOP accepted, stopping");
        log.flush();
        stopAction.run();
        // Closed before the answer: a stop client that comes after "OK" is refused at once
        // instead of reaching a listener that is about to go.
        close();
        answer(out, "OK");
        return true;
    }

    private static void answer(OutputStream out, String word) throws IOException {
        out.write((word + "\n").getBytes(StandardCharsets.US_ASCII));
        out.flush();
    }

    /** The line without its ending, or null when it is too long, unended or never comes. */
    private static String readLine(InputStream in) {
        byte[] buffer = new byte[MAX_LINE];
        int length = 0;
        try {
            while (length < MAX_LINE) {
                int b = in.read();
                if (b < 0) {
                    return null;
                }
                if (b == '\n') {
                    if (length > 0 && buffer[length - 1] == '\r') {
                        length--;
                    }
                    return new String(buffer, 0, length, StandardCharsets.UTF_8);
                }
                buffer[length++] = (byte) b;
            }
        } catch (IOException e) {
            // A silent or broken client gets ERROR like any other bad command.
        }
        return null;
    }
}
