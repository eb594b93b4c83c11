package com.orlena.tessel.brevant.http;

import java.io.IOException;

/**
 * Where request-body bytes beyond the preloaded ones come from: readClient in-process,
 * command 1 on the wire. Called only by the thread serving the request.
 */
public interface BodySource {
    /**
     * Reads up to len bytes into buf at off. REQUIRES: len > 0.
     * Answers the number read, or -1 when the client's data has ended.
     */
    int read(byte[] buf, int off, int len) throws IOException;

    BodySource NONE = (buf, off, len) -> -1;
}
