package com.orlena.tessel.brevant.wire;

import java.io.BufferedOutputStream;
import java.io.ByteArrayOutputStream;
import java.io.DataInputStream;
import java.io.IOException;
import java.io.OutputStream;
import java.net.Socket;
import java.nio.charset.StandardCharsets;
import java.util.Random;

/**
 * Test helper playing the adapter's part: sends the head with the additional-information
 * block and the preloaded body, then answers commands until the instance closes or sends command 3.
 */
final class ScriptedAdapter implements AutoCloseable {
    static final String ADDL = "127.0.0.1\r\nlocalhost\r\nweb.example\r\n8081\r\nisapihost\r\nfalse\r\n\r\n";

    /** The response as the command-0 frames carried it. */
    final ByteArrayOutputStream response = new ByteArrayOutputStream();
    int frames;
    int largestFrame;
    long bodyAskedFor;
    int certificateRequests;
    String certificate = "&END&";
    /** Body bytes the client "has"; a relay stops short when this is below the body's length. */
    long clientBytes = Long.MAX_VALUE;
    /** Answer command 1 in two pieces with a pause, as a slow client makes the adapter do. */
    boolean slowClient;

    /** The flag of the command 3 that ended the last exchange; -1 when the instance closed instead. */
    int endFlag = -1;
    private Socket socket;
    private OutputStream out;
    private DataInputStream in;

    /** A new connection, in place of the last one if any. */
    ScriptedAdapter connect(int port) throws IOException {
        if (socket != null) {
            socket.close();
        }
        socket = new Socket("127.0.0.1", port);
        socket.setSoTimeout(60_000);
        out = new BufferedOutputStream(socket.getOutputStream(), 65536);
        in = new DataInputStream(socket.getInputStream());
        return this;
    }

    /** Runs one exchange on a new connection, then closes it. */
    ScriptedAdapter exchange(int port, String head, byte[] body, int preloaded) throws IOException, InterruptedException {
        try (ScriptedAdapter self = connect(port)) {
            return self.send(head, body, preloaded);
        }
    }

    /** Sends head (ADDL included) and preloaded bytes of body, answers commands until command 3 or the close. */
    ScriptedAdapter send(String head, byte[] body, int preloaded) throws IOException, InterruptedException {
        response.reset();
        out.write(head.getBytes(StandardCharsets.ISO_8859_1));
        out.write(body, 0, preloaded);
        out.flush();
        int sent = preloaded;
        endFlag = -1;
        for (int command; endFlag < 0 && (command = in.read()) >= 0; out.flush()) {
            if (command == WireCommands.RESPONSE_DATA) {
                int length = in.readInt();
                response.write(in.readNBytes(length));
                frames++;
                largestFrame = Math.max(largestFrame, length);
            } else if (command == WireCommands.READ_BODY) {
                int count = in.readInt();
                bodyAskedFor += count;
                int n = (int) Math.max(0, Math.min(Math.min(count, body.length - sent), clientBytes - sent));
                int first = slowClient ? n / 2 : n;
                out.write(body, sent, first);
                if (first < n) {
                    out.flush();
                    Thread.sleep(50);
                    out.write(body, sent + first, n - first);
                }
                sent += n;
            } else if (command == WireCommands.CLIENT_CERTIFICATE) {
                certificateRequests++;
                out.write(certificate.getBytes(StandardCharsets.ISO_8859_1));
            } else if (command == WireCommands.END_EXCHANGE) {
                endFlag = in.read();
            } else {
                throw new IOException("unknown command " + command);
            }
        }
        return this;
    }

    @Override
    public void close() throws IOException {
        socket.close();
    }

    String text() {
        return response.toString(StandardCharsets.ISO_8859_1);
    }

    String body() {
        return text().substring(text().indexOf("\r\n\r\n") + 4);
    }

    static byte[] bytes(int length) {
        byte[] data = new byte[length];
        new Random(12345).nextBytes(data);
        return data;
    }
}
