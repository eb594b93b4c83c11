package com.orlena.tessel.brevant;

import java.io.ByteArrayOutputStream;
import java.io.DataInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;

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
        for (int command; (command = in.read()) >= 0; frames.readFrame(in)) {
            if (command != WireCommands.RESPONSE_DATA) {
                throw new IOException("unexpected command " + command);
            }
        }
        return frames;
    }

    String head() {
        String all = new String(data.toByteArray(), StandardCharsets.ISO_8859_1);
        return all.substring(0, all.indexOf("\r\n\r\n") + 4);
    }

    byte[] body() {
        return Arrays.copyOfRange(data.toByteArray(), head().length(), data.size());
    }
}
