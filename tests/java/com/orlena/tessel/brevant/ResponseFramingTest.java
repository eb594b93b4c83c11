package com.orlena.tessel.brevant;

import static org.junit.Assert.assertArrayEquals;
import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;
import static org.junit.Assert.fail;

import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.nio.charset.StandardCharsets;
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
        byte[] expected = ("HTTP/1.1 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: 5\r\n\r\nhello")
            .getBytes(StandardCharsets.ISO_8859_1);
        byte[] bytes = wire.toByteArray();
        assertEquals(0, bytes[0]);
        assertEquals(expected.length, ((bytes[1] & 0xff) << 24) | ((bytes[2] & 0xff) << 16)
                     | ((bytes[3] & 0xff) << 8) | (bytes[4] & 0xff));
        byte[] data = new byte[bytes.length - 5];
        System.arraycopy(bytes, 5, data, 0, data.length);
        assertArrayEquals(expected, data);
    }

    @Test
    public void unknownLengthSaysConnectionCloseAndFramesStayWithin64KiB() throws Exception {
        byte[] piece = new byte[10_000];
        for (int i = 0; i < piece.length; i++) {
            piece[i] = (byte) i;
        }
        for (int i = 0; i < 30; i++) {
            response.body().write(piece);
        }
        response.finish();
        WireFrames frames = frames();
        assertEquals("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", frames.head());
        byte[] body = frames.body();
        assertEquals(300_000, body.length);
        assertEquals(65536, frames.largestFrame);
        // 300000 bytes plus the head in frames of 64 KiB: five frames, none empty.
        assertEquals(5, frames.frames);
        for (int i = 0; i < 300_000; i++) {
            if (body[i] != (byte) (i % 10_000)) {
                fail("body differs at " + i);
            }
        }
    }

    @Test
    public void aResponseWithNothingWrittenHasLengthZero() throws Exception {
        response.setStatus(204);
        response.finish();
        response.finish();
        WireFrames frames = frames();
        assertEquals("HTTP/1.1 204 No Content\r\nContent-Length: 0\r\n\r\n", frames.head());
        assertEquals(1, frames.frames);
    }

    @Test
    public void theHeadIsSentOnlyOnce() throws Exception {
        response.write("x");
        try {
            response.setStatus(500);
            fail("status changed after the head was sent");
        } catch (IllegalStateException expected) {
            assertTrue(response.isCommitted());
        }
        response.finish();
        try {
            response.write("y");
            fail("written after finish");
        } catch (java.io.IOException expected) {
            // refused
        }
        assertEquals(1, frames().body().length);
    }
}
