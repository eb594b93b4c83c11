import jakarta.servlet.http.HttpServletResponse;
import java.io.IOException;
import java.nio.charset.StandardCharsets;

/** Small complete responses with their length announced, as the engine's own pages are sent. */
final class SmallPage {
    static final String TEXT = "text/plain; charset=utf-8";
    static final String HTML = "text/html; charset=utf-8";

    private SmallPage() {
    }

    static void send(HttpServletResponse response, int status, String type, String text)
        throws IOException {
        byte[] bytes = text.getBytes(StandardCharsets.UTF_8);
        response.setStatus(status);
        response.setContentType(type);
        response.setContentLength(bytes.length);
        // The stream, not the writer: the bytes go out as they are, with no re-encoding.
        response.getOutputStream().write(bytes);
    }
}
