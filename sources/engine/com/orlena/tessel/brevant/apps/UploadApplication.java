package com.orlena.tessel.brevant.apps;

import com.orlena.tessel.brevant.http.Pages;
import com.orlena.tessel.brevant.http.Request;
import com.orlena.tessel.brevant.http.Response;
import java.io.IOException;
import java.io.InputStream;
import java.util.zip.CRC32;

/** Reads the whole body and answers "length=N crc32=XXXXXXXX": checks a body arrived intact. */
final class UploadApplication implements Application {
    @Override
    public void serve(Request request, Response response) throws IOException {
        CRC32 crc = new CRC32();
        long length = 0;
        byte[] buf = new byte[64 * 1024];
        InputStream body = request.body();
        for (int n; (n = body.read(buf, 0, buf.length)) > 0; ) {
            crc.update(buf, 0, n);
            length += n;
        }
        Pages.text(response, 200, String.format("length=%d crc32=%08x%n", length, crc.getValue()));
    }
}
