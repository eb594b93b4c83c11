package com.orlena.tessel.brevant;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertThrows;

import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import org.junit.Test;

public class ResponseFramingTest {
    private final ByteArrayOutputStream wire = new ByteArrayOutputStream();
    private final Response response = new Response(new WireResponseSink(wire));

    private WireFrames frames() throws Exception {
        return WireFrames.readAll(new ByteArrayInputStream(wire.toByteArray()));
    }

    @Test
    public void knownLengthGoesOutAsOneFrameWithHeadFirst() throws Exception {
        response.setStatus(404);
        response.setContentType("text/plain");
        response.setContentLength(5);
        response.write("he");
        response.write("llo");
        response.finish();
        WireFrames frames = frames();
        assertEquals("HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n\r\nhello",
                     frames.head() + new String(frames.body(), "ISO-8859-1"));
        assertEquals(1, frames.frames);
    }

    @Test
    public void unknownLengthSaysConnectionCloseAndFramesStayWithin64KiB() throws Exception {
        byte[] piece = new byte[10_000];
        for (int i = 0; i < piece.length; i++) {
            piece[i] = (byte) i;
        }
        ByteArrayOutputStream expected = new ByteArrayOutputStream();
        for (int i = 0; i < 30; i++) {
            response.body().write(piece);
            expected.write(piece);
        }
        response.finish();
        WireFrames frames = frames();
        assertEquals("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", frames.head());
        assertArrayEquals(expected.toByteArray(), frames.body());
        assertEquals(65536, frames.largestFrame);
        assertEquals("300000 bytes and the head in full 64 KiB frames", 5, frames.frames);
    }

    @Test
    public void aResponseWithNothingWrittenHasLengthZero() throws Exception {
        response.setStatus(204);
        response.finish();
        response.finish();
        assertEquals("HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n", frames().head());
        assertEquals(1, frames().frames);
    }

    @Test
    public void theHeadIsSentOnlyOnceAndNothingAfterTheEnd() throws Exception {
        response.write("x");
        assertThrows(IllegalStateException.class, () -> response.setStatus(500));
        assertEquals(true, response.isCommitted());
        response.finish();
        assertThrows(IOException.class, () -> response.write("y"));
        assertEquals(1, frames().body().length);
    }
}
