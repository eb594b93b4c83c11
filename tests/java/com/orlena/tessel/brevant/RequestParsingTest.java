package com.orlena.tessel.brevant;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNull;
import static org.junit.Assert.assertTrue;
import static org.junit.Assert.fail;

import java.io.ByteArrayInputStream;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.util.List;
import org.junit.Test;

public class RequestParsingTest {
    private static final String WIRE_HEAD = "POST /servlet/Snoop?a=1&b=x%20y&a=2 HTTP/1.1\r\nHOST: www.example.com\r\n"
        + "ACCEPT-LANGUAGE: de\r\nCONTENT-TYPE: application/x-www-form-urlencoded\r\nCONTENT-LENGTH: 9\r\n\r\n";
    private static final String ADDL = "10.0.0.7\r\nclient.example\r\nwww.example.com\r\n443\r\nMicrosoft-IIS/5.0\r\ntrue\r\n\r\n";

    private static InputStream stream(String text) {
        return new ByteArrayInputStream(text.getBytes(StandardCharsets.ISO_8859_1));
    }

    private static void assertHead(RequestHead head, String method, String url, String path, String query) {
        assertEquals(List.of(method, url, path, "HTTP/1.1"),
                     List.of(head.method(), head.requestedUrl(), head.path(), head.protocol()));
        assertEquals(query, head.queryString());
    }

    @Test
    public void wireHeadGivesRequestLineHeadersAndConnection() throws Exception {
        InputStream in = stream(WIRE_HEAD + ADDL + "c=3&d=%41");
        WireHeadReader reader = new WireHeadReader(in);
        RequestHead head = reader.readHead();
        ConnectionInfo info = reader.readAdditionalInfo();
        assertHead(head, "POST", "/servlet/Snoop?a=1&b=x%20y&a=2", "/servlet/Snoop", "a=1&b=x%20y&a=2");
        assertEquals(List.of("HOST", "ACCEPT-LANGUAGE", "CONTENT-TYPE", "CONTENT-LENGTH"), head.headers().names());
        assertEquals("de", head.headers().get("Accept-Language"));
        assertEquals(9, head.headers().contentLength());
        assertEquals(List.of("10.0.0.7", "client.example", "www.example.com", 443, "Microsoft-IIS/5.0", true),
                     List.of(info.remoteAddr(), info.remoteHost(), info.serverName(), info.serverPort(),
                             info.serverSoftware(), info.secure()));
        byte[] rest = in.readAllBytes();
        assertEquals("the preloaded body stays on the stream", "c=3&d=%41", new String(rest, StandardCharsets.ISO_8859_1));

        Request request = new Request(head, info, null, new RequestBody(rest, BodySource.NONE, 9), () -> "&END&");
        Parameters params = request.parameters();
        assertEquals(List.of("a", "b", "c", "d"), params.names());
        assertEquals(List.of("1", "2"), params.getAll("a"));
        assertEquals(List.of("x y", "A"), List.of(params.get("b"), params.get("d")));
        assertNull("the wire format cannot map paths", request.realPath("/docs/a.html"));
        Request mapped = new Request(head, info, null, new RequestBody(rest, BodySource.NONE, 9), () -> "&END&",
                                     virtual -> "/srv/www" + virtual);
        assertEquals("/srv/www/docs/a.html", mapped.realPath("/docs/a.html"));
    }

    @Test
    public void secureFlagIsTrueOnlyForTrue() throws Exception {
        WireHeadReader reader = new WireHeadReader(stream("GET / HTTP/1.0\r\n\r\n1.2.3.4\r\nh\r\ns\r\n80\r\nBrevantAS\r\nfalse\r\n\r\n"));
        RequestHead head = reader.readHead();
        assertEquals(false, reader.readAdditionalInfo().secure());
        assertEquals(-1, head.headers().contentLength());
        assertNull(head.queryString());
    }

    private interface Parse {
        void run() throws Exception;
    }

    private static void assertRefused(Class<? extends Exception> expected, Parse parse) {
        try {
            parse.run();
            fail("accepted");
        } catch (Exception e) {
            assertTrue(e.toString(), expected.isInstance(e));
        }
    }

    @Test
    public void brokenHeadsAreRefused() {
        Class<MalformedRequestException> malformed = MalformedRequestException.class;
        assertRefused(malformed, () -> new WireHeadReader(stream("GARBAGE\r\n\r\n")).readHead());
        assertRefused(malformed, () -> new WireHeadReader(stream("GET / HTTP/1.0\r\nno colon here\r\n\r\n")).readHead());
        assertRefused(malformed, () -> new WireHeadReader(stream("a\r\nb\r\nc\r\nnot-a-port\r\ne\r\nfalse\r\n\r\n"))
                                     .readAdditionalInfo());
        assertRefused(malformed, () -> RequestTextParser.parse("GET / HTTP/1.0\nHOST:x\n"));
        // The connection ended inside the head.
        assertRefused(IOException.class, () -> new WireHeadReader(stream("GET / HTTP/1.0\r\nHOST: x\r\n")).readHead());
    }

    @Test
    public void requestTextTakesTheMarkerAsRequestedUrlAndHidesConnectorHeaders() throws Exception {
        RequestHead head = RequestTextParser.parse("GET /Scripts/Brevant_ISAPI.dll HTTP/1.1\nHTTP_HOST:www.example.com\n"
            + "HTTP_ACCEPT_LANGUAGE:de\nHTTP_X_BREVANT_REQUEST:/servlet/Hello?x=1\nHTTP_X_BREVANT_GROUP:3\n"
            + "HTTP_USER_AGENT:curl/8.0 (x:y)\n");
        assertHead(head, "GET", "/servlet/Hello?x=1", "/servlet/Hello", "x=1");
        assertEquals(List.of("HOST", "ACCEPT-LANGUAGE", "USER-AGENT"), head.headers().names());
        assertEquals("de", head.headers().get("accept-language"));
        assertEquals("only the first colon separates", "curl/8.0 (x:y)", head.headers().get("User-Agent"));
        RequestHead unmarked = RequestTextParser.parse("GET /servlet/Snoop?q=1 HTTP/1.0\n");
        assertEquals("/servlet/Snoop?q=1", unmarked.requestedUrl());
        assertEquals(List.of(), unmarked.headers().names());
    }

    @Test
    public void formParametersOnlyForUrlencodedPost() throws Exception {
        RequestHead head = RequestTextParser.parse(
            "PUT /servlet/Snoop?a=1 HTTP/1.1\nHTTP_CONTENT_TYPE:application/x-www-form-urlencoded\nHTTP_CONTENT_LENGTH:3\n");
        byte[] body = "b=2".getBytes(StandardCharsets.ISO_8859_1);
        Request request = new Request(head, null, "alice", new RequestBody(body, BodySource.NONE, 3), () -> "&END&");
        assertEquals(List.of("a"), request.parameters().names());
        assertEquals("alice", request.remoteUser());
        assertEquals("the body is still there", "b=2", new String(request.body().readAllBytes(), StandardCharsets.ISO_8859_1));
    }
}
