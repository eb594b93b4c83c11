package com.orlena.tessel.brevant.http;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;

import org.junit.Test;

public class RequestBodyTest {
    private int delivered;
    private int calls;

    /** Delivers bytes counting up from start, in pieces of at most maxPiece, `available` in all. */
    private BodySource counting(int start, int maxPiece, int available) {
        return (buf, off, len) -> {
            calls++;
            int n = Math.min(Math.min(len, maxPiece), available - delivered);
            for (int i = 0; i < n; i++) {
                buf[off + i] = (byte) (start + delivered++);
            }
            return n <= 0 ? -1 : n;
        };
    }

    @Test
    public void preloadedBytesComeFirstThenTheSourceUpToContentLength() throws Exception {
        RequestBody body = new RequestBody(new byte[] {0, 1, 2}, counting(3, 2, 1000), 8);
        assertArrayEquals(new byte[] {0, 1, 2, 3, 4, 5, 6, 7}, body.readAllBytes());
        assertEquals("never a byte beyond Content-Length", 5, delivered);
        assertEquals(-1, body.read());
    }

    @Test
    public void withoutContentLengthOnlyThePreloadedBytes() throws Exception {
        assertEquals(2, new RequestBody(new byte[] {9, 9}, counting(0, 100, 100), -1).readAllBytes().length);
        assertEquals(0, calls);
    }

    @Test
    public void aClientThatStopsShortEndsTheBody() throws Exception {
        RequestBody body = new RequestBody(new byte[0], counting(0, 100, 4), 10);
        assertEquals(4, body.readAllBytes().length);
        int callsAtTheEnd = calls;
        assertEquals(-1, body.read(new byte[5], 0, 5));
        assertEquals("the source is not asked again", callsAtTheEnd, calls);
    }
}
