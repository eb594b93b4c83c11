package com.orlena.tessel.brevant;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;

/**
 * Sends a response through the connector's natives. The head is held back until its
 * closing empty line, then split for writeHeaders, because IIS wants the status text and
 * the header lines apart and builds the status line itself; the body goes with writeClient.
 */
final class NativeResponseSink implements ResponseSink {
    private final int handle;
    private ByteArrayOutputStream head = new ByteArrayOutputStream(256);

    NativeResponseSink(int handle) {
        this.handle = handle;
    }

    @Override
    public void write(byte[] buf, int off, int len) throws IOException {
        if (head != null) {
            int start = head.size();
            head.write(buf, off, len);
            byte[] sofar = head.toByteArray();
            int end = headEnd(sofar, Math.max(0, start - 3));
            if (end < 0) {
                return;
            }
            head = null;
            sendHead(Arrays.copyOfRange(sofar, 0, end));
            if (end < sofar.length) {
                sendBody(Arrays.copyOfRange(sofar, end, sofar.length), 0, sofar.length - end);
            }
            return;
        }
        sendBody(buf, off, len);
    }

    @Override
    public void finish() throws IOException {
        if (head != null && head.size() > 0) {
            throw new IOException("response head not closed by an empty line");
        }
    }

    /** The index just past the head's closing CR LF CR LF, or -1. */
    private static int headEnd(byte[] b, int from) {
        for (int i = from; i + 3 < b.length; i++) {
            if (b[i] == '\r' && b[i + 1] == '\n' && b[i + 2] == '\r' && b[i + 3] == '\n') {
                return i + 4;
            }
        }
        return -1;
    }

    private void sendHead(byte[] bytes) throws IOException {
        byte[][] parts = splitHead(bytes);
        if (!ISAPINativeLib.writeHeaders(handle, parts[0], parts[1])) {
            throw new IOException("writeHeaders failed");
        }
    }

    /**
     * Splits a head "HTTP/1.1 200 OK\r\nName: value\r\n\r\n" into the status text
     * ("200 OK") and the header lines with their closing empty line, the two pieces
     * writeHeaders takes.
     */
    static byte[][] splitHead(byte[] head) {
        String text = new String(head, StandardCharsets.ISO_8859_1);
        int lineEnd = text.indexOf("\r\n");
        String statusLine = lineEnd < 0 ? text : text.substring(0, lineEnd);
        int blank = statusLine.indexOf(' ');
        String status = blank < 0 ? statusLine : statusLine.substring(blank + 1);
        String headers = lineEnd < 0 ? "\r\n" : text.substring(lineEnd + 2);
        return new byte[][] {status.getBytes(StandardCharsets.ISO_8859_1),
                             headers.getBytes(StandardCharsets.ISO_8859_1)};
    }

    private void sendBody(byte[] buf, int off, int len) throws IOException {
        if (len == 0) {
            return;
        }
        // writeClient takes its bytes from the start of the array.
        byte[] data = off == 0 ? buf : Arrays.copyOfRange(buf, off, off + len);
        byte code = ISAPINativeLib.writeClient(handle, data, len, false);
        if (code != 0) {
            throw new IOException("writeClient failed with code " + (code & 0xff));
        }
    }
}
