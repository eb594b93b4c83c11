import jakarta.servlet.http.HttpServlet;
import jakarta.servlet.http.HttpServletRequest;
import jakarta.servlet.http.HttpServletResponse;
import java.io.IOException;

/** The same fixed page the Brevant engine serves, so both peers answer the same bytes. */
public final class HelloServlet extends HttpServlet {
    private static final long serialVersionUID = 1L;
    static final String PAGE =
        "<html><head><title>Hello</title></head><body><h1>Hello from Brevant</h1></body></html>\n";

    @Override
    protected void doGet(HttpServletRequest request, HttpServletResponse response)
        throws IOException {
        SmallPage.send(response, HttpServletResponse.SC_OK, SmallPage.HTML, PAGE);
    }
}
