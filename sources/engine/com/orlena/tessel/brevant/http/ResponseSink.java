package com.orlena.tessel.brevant.http;

import java.io.IOException;

/**
 * Where a response's bytes go, exactly as the client is to receive them (status line,
 * headers, body): writeHeaders/writeClient in-process, command 0 frames on the wire.
 * Used by the one thread serving the request.
 */
public interface ResponseSink {
    void write(byte[] buf, int off, int len) throws IOException;

    /** Sends whatever is still held back; the response is complete. */
    void finish() throws IOException;

    /** Sends what is held back now, as the application asked; more may follow. */
    default void flush() throws IOException {
    }
}
