package com.orlena.tessel.brevant.http;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertNull;
import static org.junit.Assert.assertThrows;

import java.nio.charset.StandardCharsets;
import java.util.List;
import org.junit.Test;

/** The request the in-process connector's text describes, and what an application reads of it. */
public class RequestTest {
    private static final String FORM = "HTTP_CONTENT_TYPE:application/x-www-form-urlencoded\nHTTP_CONTENT_LENGTH:9\n";

    private static Request request(String text, String body) throws Exception {
        byte[] bytes = body.getBytes(StandardCharsets.ISO_8859_1);
        return new Request(RequestTextParser.parse(text), null, "alice",
                           new RequestBody(bytes, BodySource.NONE, bytes.length), () -> "&END&", v -> "/srv" + v);
    }

    @Test
    public void theMarkerIsTheRequestedUrlAndConnectorHeadersStayHidden() throws Exception {
        Request r = request("GET /Scripts/Brevant_ISAPI.dll HTTP/1.1\nHTTP_HOST:www.example.com\n"
            + "HTTP_ACCEPT_LANGUAGE:de\nHTTP_X_BREVANT_REQUEST:/servlet/Hello?x=1\nHTTP_X_BREVANT_GROUP:3\n"
            + "HTTP_USER_AGENT:curl/8.0 (x:y)\n", "");
        assertEquals(List.of("GET", "/servlet/Hello?x=1", "/servlet/Hello", "x=1", "HTTP/1.1"),
                     List.of(r.method(), r.requestedUrl(), r.path(), r.queryString(), r.protocol()));
        assertEquals(List.of("HOST", "ACCEPT-LANGUAGE", "USER-AGENT"), r.headers().names());
        assertEquals("de", r.header("accept-language"));
        assertEquals("only the first colon separates", "curl/8.0 (x:y)", r.header("User-Agent"));
    }

    @Test
    public void withoutTheMarkerTheRequestLineNamesTheUrl() throws Exception {
        Request r = request("GET /servlet/Snoop HTTP/1.0\n", "");
        assertEquals("/servlet/Snoop", r.requestedUrl());
        assertNull(r.queryString());
        assertEquals(-1, r.contentLength());
        assertEquals("/srv/docs/a.html", r.realPath("/docs/a.html"));
    }

    @Test
    public void badRequestTextsAreRefused() {
        for (String text : new String[] {"", "GARBAGE\n", "GET / HTTP/1.0\nHOST:x\n", "GET / HTTP/1.0\nHTTP_:x\n"}) {
            assertThrows(text, MalformedRequestException.class, () -> RequestTextParser.parse(text));
        }
    }

    @Test
    public void anotherMethodKeepsItsFormBody() throws Exception {
        Request r = request("PUT /servlet/Snoop?a=1 HTTP/1.1\n" + FORM, "b=2");
        assertEquals(List.of("a"), r.parameters().names());
        assertEquals("b=2", new String(r.body().readAllBytes(), StandardCharsets.ISO_8859_1));
        assertEquals("alice", r.remoteUser());
    }
}
