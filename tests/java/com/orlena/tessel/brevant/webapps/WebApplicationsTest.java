package com.orlena.tessel.brevant.webapps;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;

import com.orlena.tessel.brevant.http.ConnectionInfo;
import com.orlena.tessel.brevant.http.Request;
import com.orlena.tessel.brevant.http.RequestBody;
import com.orlena.tessel.brevant.http.RequestTextParser;
import com.orlena.tessel.brevant.http.Response;
import com.orlena.tessel.brevant.http.ResponseSink;
import java.io.ByteArrayInputStream;
import java.io.ByteArrayOutputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Arrays;
import org.junit.AfterClass;
import org.junit.BeforeClass;
import org.junit.ClassRule;
import org.junit.Test;
import org.junit.rules.TemporaryFolder;

/** One folder application "t" with a JSP page that echoes what it sees, served in this VM. */
public class WebApplicationsTest {
    @ClassRule
    public static final TemporaryFolder BASE = new TemporaryFolder();
    private static WebApplications web;

    @BeforeClass
    public static void deploy() throws Exception {
        Path app = BASE.getRoot().toPath().resolve("webapps/t");
        Files.createDirectories(app.resolve("WEB-INF"));
        Files.writeString(app.resolve("WEB-INF/web.xml"),
                          "<web-app xmlns=\"https://jakarta.ee/xml/ns/jakartaee\" version=\"6.0\"/>");
        Files.writeString(app.resolve("echo.jsp"), "<%@ page trimDirectiveWhitespaces=\"true\" %>"
            + "<%= request.getRequestURI() %>|<%= request.getQueryString() %>|<%= request.isSecure() %>|"
            + "<%= new String(request.getInputStream().readAllBytes(), \"UTF-8\") %>");
        web = WebApplications.start(app.getParent());
    }

    @AfterClass
    public static void undeploy() {
        web.stop();
    }

    /** The response's bytes; half the body comes preloaded, the rest from the body source. */
    private static String serve(String requestLine, String body, boolean secure) throws Exception {
        ByteArrayOutputStream sent = new ByteArrayOutputStream();
        Response response = new Response(new ResponseSink() {
            @Override public void write(byte[] buf, int off, int len) { sent.write(buf, off, len); }
            @Override public void finish() { }
        });
        byte[] bytes = body.getBytes(StandardCharsets.UTF_8);
        int half = bytes.length / 2;
        RequestBody requestBody = new RequestBody(Arrays.copyOf(bytes, half),
            new ByteArrayInputStream(bytes, half, bytes.length - half)::read, bytes.length);
        web.serve(new Request(RequestTextParser.parse(requestLine + "\nHTTP_CONTENT_LENGTH:" + bytes.length + "\n"),
                              new ConnectionInfo("127.0.0.1", "localhost", "localhost", 80, "test", secure),
                              null, requestBody, () -> "&END&"), response);
        response.finish();
        return sent.toString(StandardCharsets.UTF_8);
    }

    @Test
    public void aJspPageSeesTheRequestAndItsWholeBody() throws Exception {
        String sent = serve("POST /t/echo.jsp?q=1 HTTP/1.1", "0123456789", true);
        assertTrue(sent, sent.startsWith("HTTP/1.1 200 OK\r\n"));
        assertTrue(sent, sent.endsWith("\r\n\r\n/t/echo.jsp|q=1|true|0123456789"));
    }

    @Test
    public void aMissingPageGetsTheContainers404() throws Exception {
        assertTrue(serve("GET /t/none.jsp HTTP/1.1", "", false).startsWith("HTTP/1.1 404 Not Found\r\n"));
    }

    @Test
    public void pathsUnderADeployedContextPathAreServed() {
        String[][] cases = {{"/t", "true"}, {"/t/", "true"}, {"/t/a/b", "true"}, {"/t;jsessionid=1", "true"},
                            {"/tt/echo.jsp", "false"}, {"/", "false"}, {"/servlet/Hello", "false"}};
        for (String[] c : cases) {
            assertEquals(c[0], Boolean.parseBoolean(c[1]), web.serves(c[0]));
        }
    }
}
