package com.orlena.tessel.brevant.sample;

import jakarta.servlet.ServletOutputStream;
import jakarta.servlet.http.HttpServlet;
import jakarta.servlet.http.HttpServletRequest;
import jakarta.servlet.http.HttpServletResponse;
import java.io.IOException;

/**
 * Answers "?mib=N" with N MiB (at most MAX_MIB) of a fixed pseudo-random byte sequence, made
 * and written a few KB at a time with the length set beforehand: shows that a large download
 * streams through the connector, the whole answer never held anywhere. The bytes are the
 * top byte of each step of the generator state = state * 1664525 + 1013904223 from 0x12345678.
 */
public class DownloadServlet extends HttpServlet {
    private static final long serialVersionUID = 1L;
    /** Enough to show the streaming; keeps a mistyped query from tying up the server. */
    private static final int MAX_MIB = 1024;
    private static final int PIECE = 8 * 1024;

    @Override
    protected void doGet(HttpServletRequest request, HttpServletResponse response) throws IOException {
        int mib = mebibytes(request.getParameter("mib"));
        if (mib < 0) {
            response.sendError(HttpServletResponse.SC_BAD_REQUEST,
                    "mib must be a whole number from 0 to " + MAX_MIB);
            return;
        }
        response.setContentType("application/octet-stream");
        response.setContentLengthLong((long) mib * 1024 * 1024);
        ServletOutputStream out = response.getOutputStream();
        byte[] piece = new byte[PIECE];
        int state = 0x12345678;
        for (long left = (long) mib * 1024 * 1024; left > 0; left -= PIECE) {
            for (int i = 0; i < PIECE; i++) {
                state = state * 1664525 + 1013904223;
                piece[i] = (byte) (state >>> 24);
            }
            out.write(piece, 0, (int) Math.min(left, PIECE));
        }
    }

    /** The size asked for, or -1 when it is missing, no number or above the cap. */
    private static int mebibytes(String text) {
        if (text == null || !text.matches("[0-9]{1,4}")) {
            return -1;
        }
        int mib = Integer.parseInt(text);
        return mib <= MAX_MIB ? mib : -1;
    }
}
