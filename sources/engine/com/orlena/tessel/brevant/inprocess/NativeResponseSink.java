package com.orlena.tessel.brevant.inprocess;

import com.orlena.tessel.brevant.ISAPINativeLib;
import com.orlena.tessel.brevant.http.ResponseSink;
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.util.Arrays;

/**
 * Sends a response through the connector's natives, exactly as the client is to receive
 * it. The head is held back until its closing empty line and goes with writeClient flagged
 * as beginning with the status line, so that the web server's log shows the engine's
 * status; the body follows with writeClient.
 */
public final class NativeResponseSink implements ResponseSink {
    private final int handle;
    private ByteArrayOutputStream head = new ByteArrayOutputStream(256);

    public NativeResponseSink(int handle) {
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
            send(sofar, sofar.length, true);  // the head and any body bytes after it
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

    private void sendBody(byte[] buf, int off, int len) throws IOException {
        if (len == 0) {
            return;
        }
        // writeClient takes its bytes from the start of the array.
        byte[] data = off == 0 ? buf : Arrays.copyOfRange(buf, off, off + len);
        send(data, len, false);
    }

    private void send(byte[] data, int len, boolean hasStatusLine) throws IOException {
        byte code = ISAPINativeLib.writeClient(handle, data, len, hasStatusLine);
        if (code != 0) {
            throw new IOException("writeClient failed with code " + (code & 0xff));
        }
    }
}
