package com.orlena.tessel.brevant.http;

import java.io.IOException;
import java.io.InputStream;

/**
 * The request body as a stream: the bytes the web server read ahead first, then what
 * the source delivers, never more than Content-Length in all. A request without
 * Content-Length has only its preloaded bytes. Not thread-safe: one request, one reader.
 */
public final class RequestBody extends InputStream {
    private final byte[] preloaded;
    private int preloadedPos;
    private final BodySource more;
    private long remaining;

    /** REQUIRES: preloaded.length <= contentLength when contentLength >= 0. */
    public RequestBody(byte[] preloaded, BodySource more, long contentLength) {
        this.preloaded = preloaded;
        this.more = more;
        this.remaining = contentLength >= 0 ? contentLength : preloaded.length;
    }

    @Override
    public int read() throws IOException {
        byte[] one = new byte[1];
        int n = read(one, 0, 1);
        return n < 0 ? -1 : one[0] & 0xff;
    }

    @Override
    public int read(byte[] buf, int off, int len) throws IOException {
        if (len == 0) {
            return 0;
        }
        if (remaining <= 0) {
            return -1;
        }
        int want = (int) Math.min(len, remaining);
        int n;
        if (preloadedPos < preloaded.length) {
            n = Math.min(want, preloaded.length - preloadedPos);
            System.arraycopy(preloaded, preloadedPos, buf, off, n);
            preloadedPos += n;
        } else {
            n = more.read(buf, off, want);
            if (n <= 0) {
                // The client's data ended short of Content-Length: nothing more will come.
                remaining = 0;
                return -1;
            }
        }
        remaining -= n;
        return n;
    }

    /** Bytes still to come: what Content-Length (or the preloaded count) has not delivered yet. */
    public long unreadBytes() {
        return remaining;
    }

    @Override
    public int available() {
        return preloaded.length - preloadedPos;
    }
}
