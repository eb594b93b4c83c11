package com.orlena.tessel.brevant;

import java.io.IOException;
import java.io.InputStream;
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
            StringBuilder line = new StringBuilder();
            InputStream in = socket.getInputStream();
            for (int b = in.read(); b >= 0 && b != '\n'; b = in.read()) {
                line.append((char) b);
            }
            received = line.toString();
            if (behaviour == Behaviour.ANSWER) {
                socket.getOutputStream().write(answer.getBytes(StandardCharsets.UTF_8));
            } else if (behaviour == Behaviour.SILENT) {
                Thread.sleep(4_000);  // past the client's time-out
            } else {
                socket.setSoLinger(true, 0);  // close() sends RST: a broken connection
            }
        } catch (IOException | InterruptedException e) {
            // The test sees the outcome through the client's exit code.
        }
    }

    @Override
    public void close() throws IOException {
        listener.close();
    }
}
