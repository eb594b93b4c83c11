package com.orlena.tessel.brevant;

import java.io.ByteArrayOutputStream;
import java.io.DataInputStream;
import java.io.EOFException;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;

/** Test helper: takes command-0 frames apart and splits the HTTP response they carry. */
final class WireFrames {
    final ByteArrayOutputStream data = new ByteArrayOutputStream();
    int frames;
    int largestFrame;

    /** Reads one command-0 frame's length and data. REQUIRES: the command byte was read. */
    void readFrame(DataInputStream in) throws IOException {
        int length = in.readInt();
        if (length < 0 || length > WireCommands.MAX_FRAME) {
            throw new IOException("frame length out of range: " + length);
        }
        byte[] bytes = new byte[length];
        in.readFully(bytes);
        data.write(bytes);
        frames++;
        largestFrame = Math.max(largestFrame, length);
    }

    /** Reads a stream made of nothing but command-0 frames. */
    static WireFrames readAll(InputStream raw) throws IOException {
        DataInputStream in = new DataInputStream(raw);
        WireFrames frames = new WireFrames();
        for (int command; (command = in.read()) >= 0; ) {
            if (command != WireCommands.RESPONSE_DATA) {
                throw new EOFException("unexpected command " + command);
            }
            frames.readFrame(in);
        }
        return frames;
    }

    String head() {
        String all = new String(data.toByteArray(), StandardCharsets.ISO_8859_1);
        int end = all.indexOf("\r\n\r\n");
        return end < 0 ? all : all.substring(0, end + 4);
    }

    byte[] body() {
        byte[] all = data.toByteArray();
        int headLength = head().length();
        byte[] body = new byte[all.length - headLength];
        System.arraycopy(all, headLength, body, 0, body.length);
        return body;
    }
}
