import jakarta.servlet.http.HttpServlet;
import jakarta.servlet.http.HttpServletRequest;
import jakarta.servlet.http.HttpServletResponse;
import java.io.IOException;
import java.io.InputStream;
import java.util.zip.CRC32;

/** Reads the whole body and answers "length=N crc32=XXXXXXXX": checks a body arrived intact. */
public final class UploadServlet extends HttpServlet {
    private static final long serialVersionUID = 1L;

    @Override
    protected void doPost(HttpServletRequest request, HttpServletResponse response)
        throws IOException {
        CRC32 crc = new CRC32();
        long length = 0;
        byte[] buf = new byte[64 * 1024];
        InputStream body = request.getInputStream();
        for (int n; (n = body.read(buf, 0, buf.length)) > 0; ) {
            crc.update(buf, 0, n);
            length += n;
        }
        SmallPage.send(response, HttpServletResponse.SC_OK, SmallPage.TEXT,
            String.format("length=%d crc32=%08x%n", length, crc.getValue()));
    }
}
