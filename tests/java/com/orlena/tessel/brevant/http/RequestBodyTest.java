package com.orlena.tessel.brevant.http;

import static org.junit.Assert.assertEquals;

import org.junit.Test;

/** The body beyond what the web server read ahead (the wire tests check whole uploads). */
public class RequestBodyTest {
    private int delivered;
    private int calls;

    /** A client with `available` bytes to send; counts the calls made of it. */
    private BodySource client(int available) {
        return (buf, off, len) -> {
            calls++;
            int n = Math.min(len, available - delivered);
            delivered += Math.max(n, 0);
            return n <= 0 ? -1 : n;
        };
    }

    @Test
    public void withoutContentLengthOnlyThePreloadedBytes() throws Exception {
        assertEquals(2, new RequestBody(new byte[] {9, 9}, client(100), -1).readAllBytes().length);
        assertEquals(0, calls);
    }

    @Test
    public void aClientThatStopsShortEndsTheBody() throws Exception {
        RequestBody body = new RequestBody(new byte[0], client(4), 10);
        assertEquals(4, body.readAllBytes().length);
        int callsAtTheEnd = calls;
        assertEquals(-1, body.read(new byte[5], 0, 5));
        assertEquals("the source is not asked again", callsAtTheEnd, calls);
    }
}
