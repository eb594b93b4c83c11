package com.orlena.tessel.brevant;

import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.nio.charset.StandardCharsets;

/** An admin port that behaves as a test tells it, to drive the stop client through every outcome. */
final class FakeAdminPort implements AutoCloseable {
    enum Behaviour { ANSWER, SILENT, CLOSE, RESET }

    private final ServerSocket listener;
    private final Thread thread;
    private volatile String received;

    FakeAdminPort(Behaviour behaviour, String answer) throws IOException {
        listener = new ServerSocket(0, 4, InetAddress.getLoopbackAddress());
        thread = new Thread(() -> serve(behaviour, answer));
        thread.setDaemon(true);
        thread.start();
    }

    int port() {
        return listener.getLocalPort();
    }

    /** The line the client sent, without its newline; null when none arrived. */
    String received() throws InterruptedException {
        thread.join(5_000);
        return received;
    }

    private void serve(Behaviour behaviour, String answer) {
        try (Socket socket = listener.accept()) {
            if (behaviour == Behaviour.CLOSE) {
                return;
            }
            received = readLine(socket.getInputStream());
            switch (behaviour) {
                case ANSWER:
                    OutputStream out = socket.getOutputStream();
                    out.write(answer.getBytes(StandardCharsets.UTF_8));
                    out.flush();
                    break;
                case SILENT:
                    // Hold the connection open past the client's time-out.
                    Thread.sleep(4_000);
                    break;
                case RESET:
                    // Linger 0 makes close() send RST, which the client sees as a broken connection.
                    socket.setSoLinger(true, 0);
                    break;
                default:
                    break;
            }
        } catch (IOException | InterruptedException e) {
            // The test sees the outcome through the client's exit code.
        }
    }

    private static String readLine(InputStream in) throws IOException {
        StringBuilder line = new StringBuilder();
        for (int b = in.read(); b >= 0 && b != '\n'; b = in.read()) {
            line.append((char) b);
        }
        return line.toString();
    }

    @Override
    public void close() throws IOException {
        listener.close();
    }
}
