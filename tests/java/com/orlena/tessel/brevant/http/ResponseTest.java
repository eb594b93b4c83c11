package com.orlena.tessel.brevant.http;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertThrows;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import org.junit.Test;

/** The bytes a response sends; the wire and in-process sinks pass them on as they are. */
public class ResponseTest {
    private final ByteArrayOutputStream sent = new ByteArrayOutputStream();
    private int finishes;
    private final Response response = new Response(new ResponseSink() {
        @Override
        public void write(byte[] buf, int off, int len) {
            sent.write(buf, off, len);
        }

        @Override
        public void finish() {
            finishes++;
        }
    });

    private String sent() {
        return sent.toString(StandardCharsets.ISO_8859_1);
    }

    @Test
    public void nothingWrittenHasLengthZeroAndAnUnknownStatusAPlainReason() throws Exception {
        response.setStatus(299);
        response.finish();
        assertEquals("HTTP/1.1 299 Status 299\r\nContent-Length: 0\r\n\r\n", sent());
    }

    @Test
    public void theHeadGoesOnceAndNothingAfterTheEnd() throws Exception {
        response.write("x");
        assertThrows(IllegalStateException.class, () -> response.setStatus(500));
        response.finish();
        response.finish();
        assertThrows(IOException.class, () -> response.write("y"));
        assertEquals("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nx", sent());
        assertEquals(1, finishes);
    }
}
