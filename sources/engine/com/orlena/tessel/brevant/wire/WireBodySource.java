package com.orlena.tessel.brevant.wire;

import com.orlena.tessel.brevant.http.BodySource;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;

/**
 * Asks the adapter for request-body bytes with command 1 and reads its raw answer.
 * The adapter never says that the client's data ended short of the count; a peer that
 * falls silent is ended by the connection's read time-out.
 */
final class WireBodySource implements BodySource {
    private final InputStream in;
    private final OutputStream out;
    /** Bytes asked for and not yet received; they arrive before any later answer. */
    private int owed;
    private boolean ended;

    WireBodySource(InputStream in, OutputStream out) {
        this.in = in;
        this.out = out;
    }

    @Override
    public int read(byte[] buf, int off, int len) throws IOException {
        if (owed == 0) {
            owed = Math.min(len, WireCommands.MAX_FRAME);
            WireCommands.writeCommand(out, WireCommands.READ_BODY, owed);
            out.flush();
        }
        int n = in.read(buf, off, Math.min(len, owed));
        if (n > 0) {
            owed -= n;
        } else {
            ended = true;
        }
        return n;
    }

    /** Whether the connection ended while body bytes were owed. */
    boolean ended() {
        return ended;
    }
}
