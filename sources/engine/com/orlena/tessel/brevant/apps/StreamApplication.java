package com.orlena.tessel.brevant.apps;

import com.orlena.tessel.brevant.http.Pages;
import com.orlena.tessel.brevant.http.Request;
import com.orlena.tessel.brevant.http.Response;
import java.io.IOException;

/**
 * Stream?bytes=N: N bytes of a repeating pattern, written in pieces with no length
 * announced, so the connection's close ends the body. Checks long responses arrive whole.
 */
final class StreamApplication implements Application {
    private static final int PIECE = 32 * 1024;

    @Override
    public void serve(Request request, Response response) throws IOException {
        long total;
        try {
            total = Long.parseLong(String.valueOf(request.parameter("bytes")));
        } catch (NumberFormatException e) {
            total = -1;
        }
        if (total < 0) {
            Pages.text(response, 400, "Stream needs bytes=N with N >= 0\n");
            return;
        }
        response.setContentType("application/octet-stream");
        byte[] piece = new byte[PIECE];
        for (int i = 0; i < PIECE; i++) {
            piece[i] = (byte) ('a' + i % 26);
        }
        for (long left = total; left > 0; ) {
            int n = (int) Math.min(left, PIECE);
            response.body().write(piece, 0, n);
            left -= n;
        }
    }
}
