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
        if (server != null) {
            stop();
        }
        server = new AppServer(0, Applications.builtIn(), readTimeoutMillis, 8, new PrintStream(logBytes, true, "UTF-8"));
        acceptor = new Thread(server::serve);
        acceptor.start();
    }

    @After
    public void stop() throws Exception {
        server.close();
        acceptor.join(10_000);
    }

    private String log() throws Exception {
        stop();  // the log is complete once the server has stopped
        return logBytes.toString("UTF-8");
    }

    private ScriptedAdapter exchange(String head, byte[] body, int preloaded) throws Exception {
        ScriptedAdapter peer = new ScriptedAdapter();
        peer.exchange(server.port(), head, body, preloaded);
        return peer;
    }

    private ScriptedAdapter get(String url) throws Exception {
        return exchange(ScriptedAdapter.get(url), new byte[0], 0);
    }

    private String statusLine(String url) throws Exception {
        return get(url).response.head().split("\r\n")[0];
    }

    @Test
    public void helloIsAFixedPageWithItsLength() throws Exception {
        ScriptedAdapter peer = get("/servlet/Hello");
        int length = HelloApplication.PAGE.length();
        assertEquals("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " + length
                     + "\r\n\r\n" + HelloApplication.PAGE, peer.response.head() + peer.bodyText());
        assertEquals(0, peer.bodyAskedFor);
        assertTrue(log().contains("127.0.0.1 GET /servlet/Hello 200 " + length + " "));
    }

    @Test
    public void uploadsOfEverySizeArriveWhole() throws Exception {
        for (int length : new int[] {0, 100, READ_AHEAD, READ_AHEAD + 1, 20 * 1024 * 1024, -(READ_AHEAD + 200_000)}) {
            // A negative length stands for a slow client: answers that arrive in pieces
            // must not make the instance ask twice for the same bytes.
            ScriptedAdapter peer = new ScriptedAdapter();
            peer.slowClient = length < 0;
            length = Math.abs(length);
            byte[] body = ScriptedAdapter.bytes(length);
            int preloaded = Math.min(length, READ_AHEAD);
            peer.exchange(server.port(), "POST /servlet/Upload HTTP/1.1\r\nCONTENT-LENGTH: " + length
                          + "\r\nCONTENT-TYPE: application/octet-stream\r\n\r\n", body, preloaded);
            CRC32 crc = new CRC32();
            crc.update(body);
            assertEquals(String.format("length=%d crc32=%08x%n", length, crc.getValue()), peer.bodyText());
            assertEquals("asks for what the read-ahead did not bring", length - preloaded, peer.bodyAskedFor);
        }
    }

    @Test
    public void streamWithoutLengthEndsWithTheConnection() throws Exception {
        ScriptedAdapter peer = get("/servlet/Stream?bytes=1000000");
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
        ScriptedAdapter peer = get("/servlet/Snoop?x=1");
        for (String line : new String[] {"Requested URL: /servlet/Snoop?x=1\n", "  ACCEPT-LANGUAGE: de\n",
                                         "Remote host: localhost\n", "Server port: 8081\n", "  x = 1\n"}) {
            assertTrue(peer.bodyText(), peer.bodyText().contains(line));
        }
        assertEquals(0, peer.certificateRequests);
    }

    @Test
    public void certAsksWithCommandTwo() throws Exception {
        ScriptedAdapter peer = new ScriptedAdapter();
        peer.certificate = "&DN#CN=alice&IN#CN=ca&SN#0a0b&END&";
        peer.exchange(server.port(), ScriptedAdapter.get("/servlet/Cert"), new byte[0], 0);
        assertEquals(1, peer.certificateRequests);
        assertEquals(peer.certificate + "\n", peer.bodyText());
    }

    @Test
    public void statusAndUnknownNamesAnswerTheirCodes() throws Exception {
        assertEquals("HTTP/1.1 404 Not Found", statusLine("/servlet/Status?code=404"));
        assertEquals("HTTP/1.1 404 Not Found", statusLine("/servlet/Nothing"));
        assertEquals("HTTP/1.1 400 Bad Request", statusLine("/servlet/Status?code=abc"));
        assertEquals("HTTP/1.1 400 Bad Request", exchange("NONSENSE\r\n\r\n", new byte[0], 0).response.head().split("\r\n")[0]);
    }

    @Test
    public void aBodyCutShortEndsAtTheReadTimeOut() throws Exception {
        startServer(1_000);
        ScriptedAdapter peer = new ScriptedAdapter();
        peer.clientBytes = 60_000;
        long started = System.nanoTime();
        peer.exchange(server.port(), "POST /servlet/Upload HTTP/1.1\r\nCONTENT-LENGTH: 100000\r\n\r\n",
                      ScriptedAdapter.bytes(100_000), READ_AHEAD);
        long ms = (System.nanoTime() - started) / 1_000_000;
        assertEquals("no response for a body it never got", 0, peer.response.frames);
        assertTrue("closed after " + ms + " ms", ms >= 900 && ms < 10_000);
    }

    @Test
    public void aSilentConnectionIsClosed() throws Exception {
        startServer(1_000);
        try (Socket socket = new Socket("127.0.0.1", server.port())) {
            socket.setSoTimeout(10_000);
            socket.getOutputStream().write("GET /servlet/Hello HT".getBytes(StandardCharsets.ISO_8859_1));
            assertEquals(-1, socket.getInputStream().read());
        }
        assertTrue(log().contains("connection: "));
    }
}
