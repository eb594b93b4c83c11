package com.orlena.tessel.brevant;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
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
    private static final String WIRE_HEAD =
        "POST /servlet/Snoop?a=1&b=x%20y&a=2 HTTP/1.1\r\n"
        + "HOST: www.example.com\r\n"
        + "ACCEPT-LANGUAGE: de\r\n"
        + "CONTENT-TYPE: application/x-www-form-urlencoded\r\n"
        + "CONTENT-LENGTH: 9\r\n"
        + "\r\n";
    private static final String ADDL = "10.0.0.7\r\nclient.example\r\nwww.example.com\r\n443\r\nMicrosoft-IIS/5.0\r\ntrue\r\n\r\n";

    private static InputStream stream(String text) {
        return new ByteArrayInputStream(text.getBytes(StandardCharsets.ISO_8859_1));
    }

    @Test
    public void wireHeadGivesRequestLineHeadersAndConnection() throws Exception {
        InputStream in = stream(WIRE_HEAD + ADDL + "c=3&d=%41");
        WireHeadReader reader = new WireHeadReader(in);
        RequestHead head = reader.readHead();
        ConnectionInfo info = reader.readAdditionalInfo();

        assertEquals("POST", head.method());
        assertEquals("/servlet/Snoop?a=1&b=x%20y&a=2", head.requestedUrl());
        assertEquals("/servlet/Snoop", head.path());
        assertEquals("a=1&b=x%20y&a=2", head.queryString());
        assertEquals("HTTP/1.1", head.protocol());
        assertEquals(List.of("HOST", "ACCEPT-LANGUAGE", "CONTENT-TYPE", "CONTENT-LENGTH"), head.headers().names());
        assertEquals("de", head.headers().get("Accept-Language"));
        assertEquals(9, head.headers().contentLength());

        assertEquals("10.0.0.7", info.remoteAddr());
        assertEquals("client.example", info.remoteHost());
        assertEquals("www.example.com", info.serverName());
        assertEquals(443, info.serverPort());
        assertEquals("Microsoft-IIS/5.0", info.serverSoftware());
        assertTrue(info.secure());

        // The reader must leave the preloaded body on the stream untouched.
        byte[] rest = in.readAllBytes();
        assertEquals("c=3&d=%41", new String(rest, StandardCharsets.ISO_8859_1));

        RequestBody body = new RequestBody(rest, BodySource.NONE, 9);
        Request request = new Request(head, info, null, body, () -> "&END&");
        Parameters params = request.parameters();
        assertEquals(List.of("a", "b", "c", "d"), params.names());
        assertEquals(List.of("1", "2"), params.getAll("a"));
        assertEquals("x y", params.get("b"));
        assertEquals("A", params.get("d"));
        assertNull("the wire format cannot map paths", request.realPath("/docs/a.html"));

        Request mapped = new Request(head, info, null, new RequestBody(rest, BodySource.NONE, 9),
                                     () -> "&END&", virtual -> "/srv/www" + virtual);
        assertEquals("/srv/www/docs/a.html", mapped.realPath("/docs/a.html"));
    }

    @Test
    public void secureFlagIsTrueOnlyForTrue() throws Exception {
        String addl = "1.2.3.4\r\nh\r\ns\r\n80\r\nBrevantAS\r\nfalse\r\n\r\n";
        WireHeadReader reader = new WireHeadReader(stream("GET / HTTP/1.0\r\n\r\n" + addl));
        RequestHead head = reader.readHead();
        ConnectionInfo info = reader.readAdditionalInfo();
        assertFalse(info.secure());
        assertEquals(-1, head.headers().contentLength());
        assertNull(head.queryString());
    }

    @Test
    public void brokenWireHeadsAreRefused() throws Exception {
        String[] broken = {
            "GARBAGE\r\n\r\n",
            "GET / HTTP/1.0\r\nno colon here\r\n\r\n",
        };
        for (String text : broken) {
            try {
                new WireHeadReader(stream(text)).readHead();
                fail("accepted: " + text);
            } catch (MalformedRequestException expected) {
                // refused as it should be
            }
        }
        try {
            new WireHeadReader(stream("GET / HTTP/1.0\r\nHOST: x\r\n")).readHead();
            fail("a head cut short was accepted");
        } catch (IOException expected) {
            // the connection ended inside the head
        }
        WireHeadReader reader = new WireHeadReader(stream("a\r\nb\r\nc\r\nnot-a-port\r\ne\r\nfalse\r\n\r\n"));
        try {
            reader.readAdditionalInfo();
            fail("a bad server port was accepted");
        } catch (MalformedRequestException expected) {
            // refused
        }
    }

    @Test
    public void requestTextTakesTheMarkerAsRequestedUrlAndHidesConnectorHeaders() throws Exception {
        String text = "GET /Scripts/Brevant_ISAPI.dll HTTP/1.1\n"
            + "HTTP_HOST:www.example.com\n"
            + "HTTP_ACCEPT_LANGUAGE:de\n"
            + "HTTP_X_BREVANT_REQUEST:/servlet/Hello?x=1\n"
            + "HTTP_X_BREVANT_GROUP:3\n"
            + "HTTP_USER_AGENT:curl/8.0 (x:y)\n";
        RequestHead head = RequestTextParser.parse(text);
        assertEquals("GET", head.method());
        assertEquals("/servlet/Hello?x=1", head.requestedUrl());
        assertEquals("/servlet/Hello", head.path());
        assertEquals("HTTP/1.1", head.protocol());
        assertEquals(List.of("HOST", "ACCEPT-LANGUAGE", "USER-AGENT"), head.headers().names());
        assertEquals("de", head.headers().get("accept-language"));
        // Only the first colon separates name and value.
        assertEquals("curl/8.0 (x:y)", head.headers().get("User-Agent"));
    }

    @Test
    public void requestTextWithoutMarkerKeepsTheRequestLineUrl() throws Exception {
        RequestHead head = RequestTextParser.parse("GET /servlet/Snoop?q=1 HTTP/1.0\n");
        assertEquals("/servlet/Snoop?q=1", head.requestedUrl());
        assertTrue(head.headers().names().isEmpty());
        try {
            RequestTextParser.parse("GET / HTTP/1.0\nHOST:x\n");
            fail("a header line without HTTP_ was accepted");
        } catch (MalformedRequestException expected) {
            // refused
        }
    }

    @Test
    public void formParametersOnlyForUrlencodedPost() throws Exception {
        RequestHead head = RequestTextParser.parse(
            "PUT /servlet/Snoop?a=1 HTTP/1.1\nHTTP_CONTENT_TYPE:application/x-www-form-urlencoded\nHTTP_CONTENT_LENGTH:3\n");
        byte[] body = "b=2".getBytes(StandardCharsets.ISO_8859_1);
        Request request = new Request(head, null, "alice", new RequestBody(body, BodySource.NONE, 3), () -> "&END&");
        assertEquals(List.of("a"), request.parameters().names());
        assertEquals("alice", request.remoteUser());
        // The body is still there for the application.
        assertEquals("b=2", new String(request.body().readAllBytes(), StandardCharsets.ISO_8859_1));
    }
}
