package com.orlena.tessel.brevant.wire;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;

import com.orlena.tessel.brevant.apps.Applications;
import com.orlena.tessel.brevant.server.AppServer;
import java.io.ByteArrayOutputStream;
import java.io.PrintStream;
import java.net.Socket;
import java.nio.charset.StandardCharsets;
import java.util.zip.CRC32;
import org.junit.After;
import org.junit.Before;
import org.junit.Test;

/** A real instance on a loopback port, driven by a scripted adapter. */
public class WireProtocolTest {
    /** What the web server reads ahead and the adapter sends unasked. */
    private static final int READ_AHEAD = 48 * 1024;
    private static final String ADDL = ScriptedAdapter.ADDL;
    private static final String HELLO =
        "<html><head><title>Hello</title></head><body><h1>Hello from Brevant</h1></body></html>\n";

    private final ByteArrayOutputStream logBytes = new ByteArrayOutputStream();
    private AppServer server;
    private Thread acceptor;
    private int threads = 8;

    @Before
    public void start() throws Exception {
        restart(120_000);
    }

    /** A fresh instance with this read time-out; answers its port. */
    private int restart(int readTimeoutMillis) throws Exception {
        if (server != null) {
            stop();
        }
        server = new AppServer(0, Applications.builtIn(), readTimeoutMillis, threads, new PrintStream(logBytes, true, "UTF-8"));
        acceptor = new Thread(server::serve);
        acceptor.start();
        return server.port();
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

    private ScriptedAdapter send(String head, byte[] body, int preloaded) throws Exception {
        return new ScriptedAdapter().exchange(server.port(), head, body, preloaded);
    }

    private ScriptedAdapter get(String url) throws Exception {
        return send("GET " + url + " HTTP/1.1\r\nHOST: web.example\r\n\r\n" + ADDL, new byte[0], 0);
    }

    private ScriptedAdapter upload(ScriptedAdapter peer, int length, int preloaded) throws Exception {
        return peer.exchange(server.port(), "POST /servlet/Upload HTTP/1.1\r\nCONTENT-LENGTH: " + length
                             + "\r\n\r\n" + ADDL, ScriptedAdapter.bytes(length), preloaded);
    }

    /** A head with the exchange line (and the blank line), the additional information after it. */
    private static String kept(String head, int preloaded) {
        return head + "X-BREVANT-EXCHANGE: 1; preloaded=" + preloaded + "\r\n\r\n" + ADDL;
    }

    @Test
    public void helloIsAFixedPageWithItsLength() throws Exception {
        ScriptedAdapter peer = get("/servlet/Hello");
        assertEquals("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: "
                     + HELLO.length() + "\r\nConnection: close\r\n\r\n" + HELLO, peer.text());
        assertEquals("closed, no command 3", -1, peer.endFlag);
        assertEquals(0, peer.bodyAskedFor);
        assertTrue(log().matches("(?s).*127\\.0\\.0\\.1:\\d+ GET /servlet/Hello 200 " + HELLO.length() + " .*"));
    }

    @Test
    public void snoopShowsWhatTheHeadTheAdditionalInformationAndTheFormSaid() throws Exception {
        byte[] form = "c=3&d=%41".getBytes(StandardCharsets.ISO_8859_1);
        ScriptedAdapter peer = send("POST /servlet/Snoop?a=1&b=x%20y&a=2 HTTP/1.1\r\nHOST: web.example\r\n"
            + "CONTENT-TYPE:application/x-www-form-urlencoded\r\nCONTENT-LENGTH: 9\r\n\r\n" + ADDL, form, form.length);
        assertEquals("Method: POST\nRequested URL: /servlet/Snoop?a=1&b=x%20y&a=2\nPath: /servlet/Snoop\n"
            + "Query string: a=1&b=x%20y&a=2\nProtocol: HTTP/1.1\nRemote address: 127.0.0.1\nRemote host: localhost\n"
            + "Remote user: \nServer name: web.example\nServer port: 8081\nServer software: isapihost\nSecure: false\n"
            + "Content length: 9\n\nHeaders:\n  HOST: web.example\n"
            + "  CONTENT-TYPE: application/x-www-form-urlencoded\n  CONTENT-LENGTH: 9\n\n"
            + "Parameters:\n  a = 1\n  a = 2\n  b = x y\n  c = 3\n  d = A\n", peer.body());
        assertEquals(0, peer.certificateRequests);
    }

    @Test
    public void uploadsOfEverySizeArriveWhole() throws Exception {
        // A negative length stands for a slow client: answers that arrive in pieces must not
        // make the instance ask twice for the same bytes.
        for (int length : new int[] {0, 100, READ_AHEAD, READ_AHEAD + 1, 20 * 1024 * 1024, -(READ_AHEAD + 200_000)}) {
            ScriptedAdapter peer = new ScriptedAdapter();
            peer.slowClient = length < 0;
            length = Math.abs(length);
            int preloaded = Math.min(length, READ_AHEAD);
            CRC32 crc = new CRC32();
            crc.update(ScriptedAdapter.bytes(length));
            assertEquals(String.format("length=%d crc32=%08x%n", length, crc.getValue()),
                         upload(peer, length, preloaded).body());
            assertEquals("asks for what the read-ahead did not bring", length - preloaded, peer.bodyAskedFor);
        }
    }

    @Test
    public void streamWithoutLengthEndsWithTheConnectionInFullFrames() throws Exception {
        ScriptedAdapter peer = get("/servlet/Stream?bytes=1000000");
        String head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nConnection: close\r\n\r\n";
        assertTrue(peer.text().startsWith(head));
        assertEquals(1_000_000, peer.body().length());
        assertEquals('a' + (999_999 % (32 * 1024)) % 26, peer.body().charAt(999_999));
        assertEquals("small writes are gathered", (head.length() + 1_000_000 + 65535) / 65536, peer.frames);
        assertEquals(65536, peer.largestFrame);
    }

    @Test
    public void certAsksWithCommandTwo() throws Exception {
        ScriptedAdapter peer = new ScriptedAdapter();
        peer.certificate = "&DN#CN=alice&IN#CN=ca&SN#0a0b&END&";
        peer.exchange(server.port(), "GET /servlet/Cert HTTP/1.1\r\n\r\n" + ADDL, new byte[0], 0);
        assertEquals(1, peer.certificateRequests);
        assertEquals(peer.certificate + "\n", peer.body());
    }

    @Test
    public void eachRequestHasItsStatus() throws Exception {
        String[][] cases = {{"GET /servlet/Status?code=404 HTTP/1.1\r\n\r\n" + ADDL, "404 Not Found"},
                            {"GET /servlet/Nothing HTTP/1.1\r\n\r\n" + ADDL, "404 Not Found"},
                            {"GET /servlet/Status?code=abc HTTP/1.1\r\n\r\n" + ADDL, "400 Bad Request"},
                            {"NONSENSE\r\n\r\n" + ADDL, "400 Bad Request"},
                            {"GET / HTTP/1.0\r\nno colon\r\n\r\n" + ADDL, "400 Bad Request"},
                            {"GET / HTTP/1.0\r\n\r\na\r\nb\r\nc\r\nport\r\ne\r\nfalse\r\n\r\n", "400 Bad Request"},
                            {"GET / HTTP/1.0\r\n\r\n" + ADDL.replace("false\r\n\r\n", "false\r\nmore\r\n"),
                             "400 Bad Request"},
                            {kept("GET / HTTP/1.1\r\n", 0).replace(": 1;", ": 2;"), "400 Bad Request"},
                            {kept("GET / HTTP/1.1\r\n", 0).replace("=0", "=x"), "400 Bad Request"},
                            {kept("POST / HTTP/1.1\r\nCONTENT-LENGTH: 1\r\n", 2), "400 Bad Request"}};
        for (String[] c : cases) {
            String answer = send(c[0], new byte[0], 0).text();
            assertTrue(c[0] + answer, answer.startsWith("HTTP/1.1 " + c[1] + "\r\n"));
        }
    }

    @Test
    public void aBodyCutShortEndsAtTheReadTimeOut() throws Exception {
        restart(1_000);
        ScriptedAdapter peer = new ScriptedAdapter();
        peer.clientBytes = 60_000;
        long started = System.nanoTime();
        upload(peer, 100_000, READ_AHEAD);
        long ms = (System.nanoTime() - started) / 1_000_000;
        assertEquals("no response for a body it never got", 0, peer.frames);
        assertTrue("closed after " + ms + " ms", ms >= 900 && ms < 10_000);
    }

    @Test
    public void aHeadCutShortGetsNoAnswer() throws Exception {
        try (Socket socket = new Socket("127.0.0.1", server.port())) {
            socket.getOutputStream().write("GET / HTTP/1.0\r\nHOST: x\r\n".getBytes(StandardCharsets.ISO_8859_1));
            socket.shutdownOutput();
            assertEquals(-1, socket.getInputStream().read());
        }
        assertTrue(log().contains("connection: connection closed inside the request head"));
    }

    @Test
    public void exchangesFollowOnOneConnectionKeepingTheClientOnlyWhenItMay() throws Exception {
        // {head without its end, the flag of command 3 (-1: the instance closes)}. Hello reads no
        // body: a little is drained, more than that ends the connection.
        String[][] cases = {{"POST /servlet/Hello HTTP/1.1\r\nCONTENT-LENGTH: 200000\r\n", "1"},
                            {"GET /servlet/Hello HTTP/1.1\r\n", "1"},
                            {"GET /servlet/Hello HTTP/1.1\r\nCONNECTION: close\r\n", "0"},
                            {"GET /servlet/Hello HTTP/1.0\r\n", "0"},
                            {"GET /servlet/Hello HTTP/1.0\r\nCONNECTION: Keep-Alive\r\n", "1"},
                            {"HEAD /servlet/Hello HTTP/1.1\r\n", "0"},
                            {"GET /servlet/Status?code=204 HTTP/1.1\r\n", "0"},
                            {"GET /servlet/Stream?bytes=65536 HTTP/1.1\r\n", "1"},
                            {"GET /servlet/Stream?bytes=65537 HTTP/1.1\r\n", "0"},
                            {"POST /servlet/Hello HTTP/1.1\r\nCONTENT-LENGTH: 2000000\r\n", "-1"},
                            {"POST /servlet/Hello HTTP/1.1\r\nTRANSFER-ENCODING: chunked\r\n", "-1"}};
        byte[] body = ScriptedAdapter.bytes(2_000_000);
        try (ScriptedAdapter peer = new ScriptedAdapter().connect(server.port())) {
            for (String[] c : cases) {
                String text = peer.send(kept(c[0], 0), body, 0).text();
                assertEquals(c[0], Integer.parseInt(c[1]), peer.endFlag);
                assertEquals(c[0] + text, peer.endFlag != 1, text.contains("\r\nConnection: close\r\n"));
                if (peer.endFlag < 0) {
                    peer.connect(server.port());
                }
            }
            assertEquals("drained", 200_000, peer.bodyAskedFor);
        }
    }

    @Test
    public void thePreloadedCountIsTheExchangeLinesAndTheLineNoClientHeader() throws Exception {
        // {length, preloaded}: the old guess, min(length, 48 KiB), is wrong for each
        try (ScriptedAdapter peer = new ScriptedAdapter().connect(server.port())) {
            for (int[] c : new int[][] {{60 * 1024, 60_000}, {100, 0}, {READ_AHEAD + 10, READ_AHEAD + 10}}) {
                long asked = peer.bodyAskedFor;
                CRC32 crc = new CRC32();
                crc.update(ScriptedAdapter.bytes(c[0]));
                peer.send(kept("POST /servlet/Upload HTTP/1.1\r\nCONTENT-LENGTH: " + c[0] + "\r\n", c[1]),
                          ScriptedAdapter.bytes(c[0]), c[1]);
                assertEquals(String.format("length=%d crc32=%08x%n", c[0], crc.getValue()), peer.body());
                assertEquals(c[0] - c[1], peer.bodyAskedFor - asked);
            }
            String snoop = peer.send(kept("GET /servlet/Snoop HTTP/1.1\r\nHOST: a\r\n", 0), new byte[0], 0).body();
            assertTrue(snoop, snoop.contains("\nHeaders:\n  HOST: a\n\n"));
        }
    }

    @Test
    public void anIdleKeptConnectionGivesItsThreadToAWaitingOne() throws Exception {
        threads = 1;
        restart(120_000);
        try (ScriptedAdapter idle = new ScriptedAdapter().connect(server.port())) {
            assertEquals(1, idle.send(kept("GET /servlet/Hello HTTP/1.1\r\n", 0), new byte[0], 0).endFlag);
            assertEquals(HELLO, get("/servlet/Hello").body());
            assertEquals("closed by the instance", -1, idle.send("", new byte[0], 0).endFlag);
        }
    }
}
