package com.orlena.tessel.brevant;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;

import java.io.IOException;
import org.junit.Test;

public class RequestBodyTest {
    /** Delivers bytes counting up from a start value, in pieces of at most maxPiece. */
    private static final class CountingSource implements BodySource {
        int next;
        final int maxPiece;
        final int available;
        int delivered;
        int calls;

        CountingSource(int start, int maxPiece, int available) {
            this.next = start;
            this.maxPiece = maxPiece;
            this.available = available;
        }

        @Override
        public int read(byte[] buf, int off, int len) throws IOException {
            calls++;
            int n = Math.min(Math.min(len, maxPiece), available - delivered);
            if (n <= 0) {
                return -1;
            }
            for (int i = 0; i < n; i++) {
                buf[off + i] = (byte) next++;
            }
            delivered += n;
            return n;
        }
    }

    @Test
    public void preloadedBytesComeFirstThenTheSourceUpToContentLength() throws Exception {
        CountingSource source = new CountingSource(3, 2, 1000);
        RequestBody body = new RequestBody(new byte[] {0, 1, 2}, source, 8);
        byte[] all = body.readAllBytes();
        assertArrayEquals(new byte[] {0, 1, 2, 3, 4, 5, 6, 7}, all);
        // Never asked for a byte beyond Content-Length.
        assertEquals(5, source.delivered);
        assertEquals(-1, body.read());
    }

    @Test
    public void withoutContentLengthOnlyThePreloadedBytes() throws Exception {
        CountingSource source = new CountingSource(0, 100, 100);
        RequestBody body = new RequestBody(new byte[] {9, 9}, source, -1);
        assertEquals(2, body.readAllBytes().length);
        assertEquals(0, source.calls);
    }

    @Test
    public void aClientThatStopsShortEndsTheBody() throws Exception {
        CountingSource source = new CountingSource(0, 100, 4);
        RequestBody body = new RequestBody(new byte[0], source, 10);
        assertEquals(4, body.readAllBytes().length);
        int callsAfterEnd = source.calls;
        assertEquals(-1, body.read(new byte[5], 0, 5));
        assertEquals(callsAfterEnd, source.calls);
    }
}
