package com.orlena.tessel.brevant.server;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.PrintStream;
import java.net.ConnectException;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.NoRouteToHostException;
import java.net.Socket;
import java.net.SocketTimeoutException;
import java.net.UnknownHostException;
import java.nio.charset.StandardCharsets;

/**
 * The stop client: asks an instance's admin port (see AdminPort) to stop and exits with a code
 * that the NT service maps to the service's state, so the codes are fixed:
 * 0 stopped, -1 host cannot be resolved, -2 bad or missing port, -3 no response,
 * -4 bad user or password, -5 cannot connect, -6 unexpected response, -7 i/o error,
 * -8 -help given, -9 bad options.
 *
 *   java -cp Brevant30.jar com.orlena.tessel.brevant.server.StopServer [--host H] --port N
 *        [--user U --password P] [--timeout SECONDS]
 */
public final class StopServer {
    static final int STOPPED = 0;
    static final int UNKNOWN_HOST = -1;
    static final int BAD_PORT = -2;
    static final int NO_RESPONSE = -3;
    static final int DENIED = -4;
    static final int CANNOT_CONNECT = -5;
    static final int UNEXPECTED_RESPONSE = -6;
    static final int IO_ERROR = -7;
    static final int HELP = -8;
    static final int BAD_OPTIONS = -9;

    /** Longer than any answer; a peer that sends more is not an admin port. */
    private static final int MAX_ANSWER = 64;

    private StopServer() {
    }

    /** Everything main does but exiting, so the codes can be tested in one VM. */
    static int run(String[] args, PrintStream out) {
        StopOptions options = StopOptions.parse(args);
        if (options.help) {
            out.println(StopOptions.USAGE);
            return HELP;
        }
        if (options.error != 0) {
            out.println("StopServer: " + options.reason);
            out.println(StopOptions.USAGE);
            return options.error;
        }
        InetAddress address;
        try {
            address = InetAddress.getByName(options.host);
        } catch (UnknownHostException e) {
            out.println("StopServer: cannot resolve host " + options.host);
            return UNKNOWN_HOST;
        }
        int code = stop(address, options, out);
        if (code == STOPPED) {
            out.println("StopServer: instance on " + options.host + ":" + options.port + " stopped");
        }
        return code;
    }

    private static int stop(InetAddress address, StopOptions options, PrintStream out) {
        int timeoutMillis = options.timeoutSeconds * 1000;
        try (Socket socket = new Socket()) {
            try {
                socket.connect(new InetSocketAddress(address, options.port), timeoutMillis);
            } catch (ConnectException | NoRouteToHostException | SocketTimeoutException e) {
                out.println("StopServer: cannot connect to " + options.host + ":" + options.port + ": "
                            + e.getMessage());
                return CANNOT_CONNECT;
            }
            socket.setSoTimeout(timeoutMillis);
            OutputStream request = socket.getOutputStream();
            request.write((AdminCommand.line(options.user, options.password) + "\n")
                              .getBytes(StandardCharsets.UTF_8));
            request.flush();
            String answer = readAnswer(socket.getInputStream());
            if (answer == null) {
                out.println("StopServer: the admin port closed the connection without answering");
                return NO_RESPONSE;
            }
            return meaning(answer, out);
        } catch (SocketTimeoutException e) {
            out.println("StopServer: no response within " + options.timeoutSeconds + " s");
            return NO_RESPONSE;
        } catch (IOException e) {
            out.println("StopServer: i/o error: " + e.getMessage());
            return IO_ERROR;
        }
    }

    private static int meaning(String answer, PrintStream out) {
        switch (answer) {
            case "OK": return STOPPED;
            case "DENIED":
                out.println("StopServer: bad user or password");
                return DENIED;
            default:
                out.println("StopServer: unexpected response: " + answer);
                return UNEXPECTED_RESPONSE;
        }
    }

    /** The first line, without its ending; null when the peer closed without sending a byte. */
    private static String readAnswer(InputStream in) throws IOException {
        byte[] buffer = new byte[MAX_ANSWER];
        int length = 0;
        boolean any = false;
        while (length < MAX_ANSWER) {
            int b = in.read();
            if (b < 0 || b == '\n') {
                any |= b == '\n';
                break;
            }
            any = true;
            buffer[length++] = (byte) b;
        }
        if (!any) {
            return null;
        }
        if (length > 0 && buffer[length - 1] == '\r') {
            length--;
        }
        return new String(buffer, 0, length, StandardCharsets.UTF_8);
    }

    public static void main(String[] args) {
        System.exit(run(args, System.out));
    }
}
