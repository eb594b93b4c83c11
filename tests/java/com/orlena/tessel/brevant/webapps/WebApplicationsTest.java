package com.orlena.tessel.brevant.webapps;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertThrows;
import static org.junit.Assert.assertTrue;

import com.orlena.tessel.brevant.apps.Applications;
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

/**
 * One folder application "t" with JSP pages that show what they see and do what a test
 * needs, and a ROOT application, served in this VM.
 */
public class WebApplicationsTest {
    @ClassRule
    public static final TemporaryFolder BASE = new TemporaryFolder();
    private static WebApplications web;

    @BeforeClass
    public static void deploy() throws Exception {
        Path webapps = BASE.getRoot().toPath().resolve("webapps");
        page(webapps, "t/echo.jsp", "<%= request.getRequestURI() %>|<%= request.getQueryString() %>|"
            + "<%= request.isSecure() %>|<%= new String(request.getInputStream().readAllBytes(), \"UTF-8\") %>");
        page(webapps, "t/who.jsp", "<%= request.getRemoteAddr() %>|<%= request.getRemoteUser() %>|"
            + "<%= request.getAttribute(\"com.orlena.tessel.brevant.certificate.subject\") %>|"
            + "<%= java.util.Collections.list(request.getHeaderNames()) %>");
        String fails = "<% out.print(\"x\".repeat(40000)); if (true) throw new RuntimeException(); %>";
        page(webapps, "t/fails.jsp", "<%@ page buffer=\"none\" %>" + fails);
        page(webapps, "t/flushes-and-fails.jsp", fails);
        page(webapps, "t/flushes.jsp", "<% out.print(\"early\"); out.flush(); %>");
        page(webapps, "t/async.jsp", "<% request.startAsync(); %>");
        page(webapps, "ROOT/index.jsp", "root");
        web = WebApplications.start(webapps);
    }

    private static void page(Path webapps, String name, String text) throws Exception {
        Path app = webapps.resolve(name.substring(0, name.indexOf('/')));
        Files.createDirectories(app.resolve("WEB-INF"));
        Files.writeString(app.resolve("WEB-INF/web.xml"),
                          "<web-app xmlns=\"https://jakarta.ee/xml/ns/jakartaee\" version=\"6.0\"/>");
        Files.writeString(webapps.resolve(name), "<%@ page trimDirectiveWhitespaces=\"true\" %>" + text);
    }

    @AfterClass
    public static void undeploy() {
        web.stop();
    }

    /** A request through the container and the bytes it sent, held back as the wire does. */
    private static final class Exchange {
        final ByteArrayOutputStream sent = new ByteArrayOutputStream();
        final Response response = new Response(new ResponseSink() {
            @Override public void write(byte[] buf, int off, int len) { sent.write(buf, off, len); }
            @Override public void finish() { }
        }, (status, length, close) -> false, 65536);
        String user;
        String remoteAddr = "127.0.0.1";
        String certificate = "&END&";
        boolean secure;

        /** Half the body comes preloaded, the rest from the body source. */
        String serve(String requestText, String body) throws Exception {
            byte[] bytes = body.getBytes(StandardCharsets.UTF_8);
            int half = bytes.length / 2;
            RequestBody requestBody = new RequestBody(Arrays.copyOf(bytes, half),
                new ByteArrayInputStream(bytes, half, bytes.length - half)::read, bytes.length);
            Request request = new Request(
                RequestTextParser.parse(requestText + "\nHTTP_CONTENT_LENGTH:" + bytes.length + "\n"),
                new ConnectionInfo(remoteAddr, "localhost", "localhost", 80, "test", secure), user,
                requestBody, () -> certificate);
            Applications apps = Applications.builtIn();
            apps.mount(web::serves, web, web.hasRoot());
            apps.dispatch(request, response);
            response.finish();
            return sent.toString(StandardCharsets.UTF_8);
        }
    }

    private static String serve(String requestText) throws Exception {
        return new Exchange().serve(requestText, "");
    }

    @Test
    public void aJspPageSeesTheRequestAndItsWholeBody() throws Exception {
        Exchange exchange = new Exchange();
        exchange.secure = true;
        String sent = exchange.serve("POST /t/echo.jsp?q=1 HTTP/1.1", "0123456789");
        assertTrue(sent, sent.startsWith("HTTP/1.1 200 OK\r\n"));
        assertTrue(sent, sent.endsWith("\r\n\r\n/t/echo.jsp|q=1|true|0123456789"));
    }

    @Test
    public void theUserTheCertificateAndHeaderNamesInTheirUsualSpelling() throws Exception {
        Exchange exchange = new Exchange();
        exchange.remoteAddr = "";  // unknown: not loopback
        exchange.user = "DOMAIN\\ann";
        exchange.secure = true;
        exchange.certificate = "&DN#CN=ann&IN#CN=ca&SN#0201&END&";
        String sent = exchange.serve("GET /t/who.jsp HTTP/1.1\nHTTP_ACCEPT_LANGUAGE:de\nHTTP_X_Mixed:1", "");
        assertTrue(sent, sent.endsWith("\r\n\r\n0.0.0.0|DOMAIN\\ann|CN=ann|[Accept-Language, X-Mixed, Content-Length]"));
    }

    @Test
    public void aFailureAfterTheContainersCommitIsReportedNotPassedOffAsWhole() throws Exception {
        Exchange held = new Exchange();
        assertThrows(IllegalStateException.class, () -> held.serve("GET /t/fails.jsp HTTP/1.1", ""));
        assertFalse("a 500 can still be sent", held.response.isCommitted());
        Exchange flushed = new Exchange();
        assertThrows(IllegalStateException.class, () -> flushed.serve("GET /t/flushes-and-fails.jsp HTTP/1.1", ""));
        assertTrue(flushed.response.isCommitted());
    }

    @Test
    public void aLongAnswerCarriesTheContainersHead() throws Exception {
        String sent = serve("GET /t/echo.jsp?" + "q".repeat(100000) + " HTTP/1.1");
        assertTrue(sent, sent.startsWith("HTTP/1.1 200 OK\r\nSet-Cookie: JSESSIONID="));
        assertTrue(sent.substring(0, 300), sent.contains("\r\nContent-Type: text/html;charset=ISO-8859-1\r\n"));
    }

    @Test
    public void aFlushSendsTheHeadBeforeTheLengthIsKnown() throws Exception {
        String sent = serve("GET /t/flushes.jsp HTTP/1.1");
        assertFalse(sent, sent.contains("Content-Length"));
        assertTrue(sent, sent.endsWith("\r\n\r\nearly"));
    }

    @Test
    public void webSocketAndAsynchronousProcessingAreRefused() throws Exception {
        String upgrade = serve("GET /t/echo.jsp HTTP/1.1\nHTTP_UPGRADE:websocket\nHTTP_CONNECTION:Upgrade");
        assertTrue(upgrade, upgrade.startsWith("HTTP/1.1 501 Not Implemented\r\n"));
        assertTrue(upgrade, upgrade.endsWith("\r\n\r\nWebSocket is not supported by this connector\n"));
        String async = serve("GET /t/async.jsp HTTP/1.1");
        assertTrue(async, async.startsWith("HTTP/1.1 500 "));
        assertTrue(async, async.contains("does not support asynchronous operations"));
    }

    @Test
    public void rootTakesWhatNoOtherApplicationServesButNotTheBuiltInPages() throws Exception {
        assertTrue(serve("GET /index.jsp HTTP/1.1").endsWith("\r\n\r\nroot"));
        assertTrue(serve("GET /servlet/Hello HTTP/1.1").contains("Hello"));
        assertTrue(serve("GET /servlet/None HTTP/1.1").startsWith("HTTP/1.1 404 "));
    }

    @Test
    public void aMissingPageGetsTheContainers404() throws Exception {
        assertTrue(serve("GET /t/none.jsp HTTP/1.1").startsWith("HTTP/1.1 404 Not Found\r\n"));
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
