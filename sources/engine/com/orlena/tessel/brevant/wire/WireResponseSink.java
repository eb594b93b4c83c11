package com.orlena.tessel.brevant.wire;

import com.orlena.tessel.brevant.http.ResponseSink;
import java.io.IOException;
import java.io.OutputStream;

/**
 * Sends the response as command-0 frames of at most 64 KiB: the status line and headers
 * are the first bytes of the first frame, and small body pieces are gathered so that
 * a response of many little writes does not cost a frame each. finish() leaves the last
 * frame in the connection's buffer, so that command 3 can go in the same packet: the
 * exchange flushes. Used by the one thread serving the connection.
 */
final class WireResponseSink implements ResponseSink {
    private final OutputStream out;
    private final byte[] pending = new byte[WireCommands.MAX_FRAME];
    private int pendingLength;

    WireResponseSink(OutputStream out) {
        this.out = out;
    }

    @Override
    public void write(byte[] buf, int off, int len) throws IOException {
        while (len > 0) {
            int n = Math.min(len, pending.length - pendingLength);
            System.arraycopy(buf, off, pending, pendingLength, n);
            pendingLength += n;
            off += n;
            len -= n;
            if (pendingLength == pending.length) {
                sendPending();
            }
        }
    }

    @Override
    public void finish() throws IOException {
        sendPending();
    }

    @Override
    public void flush() throws IOException {
        sendPending();
        out.flush();
    }

    private void sendPending() throws IOException {
        if (pendingLength == 0) {
            return;
        }
        WireCommands.writeCommand(out, WireCommands.RESPONSE_DATA, pendingLength);
        out.write(pending, 0, pendingLength);
        pendingLength = 0;
    }
}
