package com.orlena.tessel.brevant;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;

import java.io.ByteArrayOutputStream;
import java.io.PrintStream;
import java.net.Socket;
import java.nio.charset.StandardCharsets;
import java.util.zip.CRC32;
import org.junit.After;
import org.junit.Before;
import org.junit.Test;

public class WireProtocolTest {
    /** What the web server reads ahead and the adapter sends unasked. */
    private static final int READ_AHEAD = 48 * 1024;

    private AppServer server;
    private Thread acceptor;
    private final ByteArrayOutputStream logBytes = new ByteArrayOutputStream();

    @Before
    public void start() throws Exception {
        startServer(120_000);
    }

    private void startServer(int readTimeoutMillis) throws Exception {
        server = new AppServer(0, Applications.builtIn(), readTimeoutMillis, 8,
                               new PrintStream(logBytes, true, "UTF-8"));
        acceptor = new Thread(server::serve);
        acceptor.start();
    }

    @After
    public void stop() throws Exception {
        server.close();
        acceptor.join(10_000);
    }

    private String log() {
        return new String(logBytes.toByteArray(), StandardCharsets.UTF_8);
    }

    @Test
    public void helloIsAFixedPageWithItsLength() throws Exception {
        ScriptedAdapter peer = new ScriptedAdapter();
        peer.exchange(server.port(), ScriptedAdapter.get("/servlet/Hello"), new byte[0], 0);
        int length = HelloApplication.PAGE.length();
        assertEquals("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " + length
                     + "\r\n\r\n", peer.response.head());
        assertEquals(HelloApplication.PAGE, peer.bodyText());
        assertEquals(0, peer.bodyAskedFor);
        stop();
        assertTrue(log(), log().contains("127.0.0.1 GET /servlet/Hello 200 " + length + " "));
    }

    private void upload(int length) throws Exception {
        upload(length, false);
    }

    private void upload(int length, boolean slowClient) throws Exception {
        byte[] body = ScriptedAdapter.bytes(length);
        int preloaded = Math.min(length, READ_AHEAD);
        ScriptedAdapter peer = new ScriptedAdapter();
        peer.slowClient = slowClient;
        String head = "POST /servlet/Upload HTTP/1.1\r\nCONTENT-LENGTH: " + length
            + "\r\nCONTENT-TYPE: application/octet-stream\r\n\r\n";
        peer.exchange(server.port(), head, body, preloaded);
        CRC32 crc = new CRC32();
        crc.update(body);
        assertEquals("HTTP/1.1 200 OK", peer.response.head().split("\r\n")[0]);
        assertEquals(String.format("length=%d crc32=%08x%n", length, crc.getValue()), peer.bodyText());
        // The instance asks for exactly what the read-ahead did not bring.
        assertEquals(length - preloaded, peer.bodyAskedFor);
    }

    @Test
    public void uploadsOfEverySizeArriveWhole() throws Exception {
        upload(0);
        upload(100);
        upload(READ_AHEAD);
        upload(READ_AHEAD + 1);
        upload(20 * 1024 * 1024);
        // Answers that arrive in pieces must not make the instance ask twice for the same bytes.
        upload(READ_AHEAD + 200_000, true);
    }

    @Test
    public void streamWithoutLengthEndsWithTheConnection() throws Exception {
        ScriptedAdapter peer = new ScriptedAdapter();
        peer.exchange(server.port(), ScriptedAdapter.get("/servlet/Stream?bytes=1000000"), new byte[0], 0);
        assertEquals("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n",
                     peer.response.head());
        byte[] body = peer.response.body();
        assertEquals(1_000_000, body.length);
        assertEquals('a', body[0]);
        assertEquals('a' + (999_999 % (32 * 1024)) % 26, body[999_999]);
        assertTrue(peer.response.largestFrame <= 65536);
    }

    @Test
    public void snoopShowsTheRequestedUrlHeadersAndConnection() throws Exception {
        ScriptedAdapter peer = new ScriptedAdapter();
        peer.exchange(server.port(), ScriptedAdapter.get("/servlet/Snoop?x=1"), new byte[0], 0);
        String text = peer.bodyText();
        assertTrue(text, text.contains("Requested URL: /servlet/Snoop?x=1\n"));
        assertTrue(text, text.contains("  ACCEPT-LANGUAGE: de\n"));
        assertTrue(text, text.contains("Remote host: localhost\n"));
        assertTrue(text, text.contains("Server port: 8081\n"));
        assertTrue(text, text.contains("  x = 1\n"));
        assertEquals(0, peer.certificateRequests);
    }

    @Test
    public void certAsksWithCommandTwo() throws Exception {
        ScriptedAdapter peer = new ScriptedAdapter();
        peer.certificate = "&DN#CN=alice&IN#CN=ca&SN#0a0b&END&";
        peer.exchange(server.port(), ScriptedAdapter.get("/servlet/Cert"), new byte[0], 0);
        assertEquals(1, peer.certificateRequests);
        assertEquals("&DN#CN=alice&IN#CN=ca&SN#0a0b&END&\n", peer.bodyText());
    }

    @Test
    public void statusAndUnknownNamesAnswerTheirCodes() throws Exception {
        ScriptedAdapter peer = new ScriptedAdapter();
        peer.exchange(server.port(), ScriptedAdapter.get("/servlet/Status?code=404"), new byte[0], 0);
        assertEquals("HTTP/1.1 404 Not Found", peer.response.head().split("\r\n")[0]);
        peer = new ScriptedAdapter();
        peer.exchange(server.port(), ScriptedAdapter.get("/servlet/Nothing"), new byte[0], 0);
        assertEquals("HTTP/1.1 404 Not Found", peer.response.head().split("\r\n")[0]);
        peer = new ScriptedAdapter();
        peer.exchange(server.port(), ScriptedAdapter.get("/servlet/Status?code=abc"), new byte[0], 0);
        assertEquals("HTTP/1.1 400 Bad Request", peer.response.head().split("\r\n")[0]);
    }

    @Test
    public void aBodyCutShortEndsAtTheReadTimeOut() throws Exception {
        stop();
        startServer(1_000);
        ScriptedAdapter peer = new ScriptedAdapter();
        peer.clientBytes = 60_000;
        byte[] body = ScriptedAdapter.bytes(100_000);
        long started = System.nanoTime();
        peer.exchange(server.port(), "POST /servlet/Upload HTTP/1.1\r\nCONTENT-LENGTH: 100000\r\n\r\n", body,
                      READ_AHEAD);
        long ms = (System.nanoTime() - started) / 1_000_000;
        // The instance gave up and closed; no response was sent for a body it never got.
        assertEquals(0, peer.response.frames);
        assertTrue("closed after " + ms + " ms", ms >= 900 && ms < 10_000);
    }

    @Test
    public void aSilentConnectionIsClosed() throws Exception {
        stop();
        startServer(1_000);
        try (Socket socket = new Socket("127.0.0.1", server.port())) {
            socket.setSoTimeout(10_000);
            socket.getOutputStream().write("GET /servlet/Hello HT".getBytes(StandardCharsets.ISO_8859_1));
            assertEquals(-1, socket.getInputStream().read());
        }
        stop();
        assertTrue(log(), log().contains("connection: "));
    }

    @Test
    public void aMalformedHeadGets400() throws Exception {
        ScriptedAdapter peer = new ScriptedAdapter();
        peer.exchange(server.port(), "NONSENSE\r\n\r\n", new byte[0], 0);
        assertEquals("HTTP/1.1 400 Bad Request", peer.response.head().split("\r\n")[0]);
    }
}
