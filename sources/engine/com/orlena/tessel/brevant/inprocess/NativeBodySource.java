package com.orlena.tessel.brevant.inprocess;

import com.orlena.tessel.brevant.ISAPINativeLib;
import com.orlena.tessel.brevant.http.BodySource;

/**
 * The request body beyond the preloaded bytes, read with readClient. Pieces are capped
 * because readClient blocks until it has all it was asked for and allocates that much.
 */
public final class NativeBodySource implements BodySource {
    private static final int MAX_PIECE = 64 * 1024;
    private final int handle;

    public NativeBodySource(int handle) {
        this.handle = handle;
    }

    @Override
    public int read(byte[] buf, int off, int len) {
        byte[] piece = ISAPINativeLib.readClient(handle, Math.min(len, MAX_PIECE));
        if (piece == null || piece.length == 0) {
            return -1;
        }
        System.arraycopy(piece, 0, buf, off, piece.length);
        return piece.length;
    }
}
