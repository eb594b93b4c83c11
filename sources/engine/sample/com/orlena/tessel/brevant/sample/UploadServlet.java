package com.orlena.tessel.brevant.sample;

import jakarta.servlet.ServletException;
import jakarta.servlet.http.HttpServlet;
import jakarta.servlet.http.HttpServletRequest;
import jakarta.servlet.http.HttpServletResponse;
import jakarta.servlet.http.Part;
import java.io.IOException;
import java.io.InputStream;
import java.util.zip.CRC32;

/** Answers "length=N crc32=XXXXXXXX" of the form's part "file": checks an upload arrived intact. */
public class UploadServlet extends HttpServlet {
    private static final long serialVersionUID = 1L;

    @Override
    protected void doPost(HttpServletRequest request, HttpServletResponse response)
            throws IOException, ServletException {
        Part part = request.getPart("file");
        if (part == null) {
            response.sendError(HttpServletResponse.SC_BAD_REQUEST, "no part named file");
            return;
        }
        CRC32 crc = new CRC32();
        long length = 0;
        byte[] buffer = new byte[64 * 1024];
        try (InputStream in = part.getInputStream()) {
            for (int n; (n = in.read(buffer)) > 0; length += n) {
                crc.update(buffer, 0, n);
            }
        }
        response.setContentType("text/plain; charset=UTF-8");
        response.getWriter().printf("length=%d crc32=%08x%n", length, crc.getValue());
    }
}
