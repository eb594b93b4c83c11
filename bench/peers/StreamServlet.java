import jakarta.servlet.ServletOutputStream;
import jakarta.servlet.http.HttpServlet;
import jakarta.servlet.http.HttpServletRequest;
import jakarta.servlet.http.HttpServletResponse;
import java.io.IOException;

/**
 * Stream?bytes=N: N bytes of a repeating pattern in 32 KiB pieces, with no length announced
 * (Tomcat chunks them), as the engine's Stream application writes them.
 */
public final class StreamServlet extends HttpServlet {
    private static final long serialVersionUID = 1L;
    private static final int PIECE = 32 * 1024;
    // Filled once: the benchmark measures moving bytes, not making them.
    private static final byte[] PATTERN = pattern();

    @Override
    protected void doGet(HttpServletRequest request, HttpServletResponse response)
        throws IOException {
        long total;
        try {
            total = Long.parseLong(String.valueOf(request.getParameter("bytes")));
        } catch (NumberFormatException e) {
            total = -1;
        }
        if (total < 0) {
            SmallPage.send(response, HttpServletResponse.SC_BAD_REQUEST, SmallPage.TEXT,
                "Stream needs bytes=N with N >= 0\n");
            return;
        }
        response.setStatus(HttpServletResponse.SC_OK);
        response.setContentType("application/octet-stream");
        ServletOutputStream body = response.getOutputStream();
        for (long left = total; left > 0; ) {
            int n = (int) Math.min(left, PIECE);
            body.write(PATTERN, 0, n);
            left -= n;
        }
    }

    private static byte[] pattern() {
        byte[] piece = new byte[PIECE];
        for (int i = 0; i < PIECE; i++) {
            piece[i] = (byte) ('a' + i % 26);
        }
        return piece;
    }
}
