package com.orlena.tessel.brevant;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;
import static org.junit.Assert.fail;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.net.ConnectException;
import java.net.InetAddress;
import java.net.InetSocketAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.nio.charset.StandardCharsets;
import org.junit.Test;

public class StopServerTest {
    private final ByteArrayOutputStream outBytes = new ByteArrayOutputStream();

    private int stop(String... args) throws Exception {
        return StopServer.run(args, new PrintStream(outBytes, true, "UTF-8"));
    }

    private String out() {
        return new String(outBytes.toByteArray(), StandardCharsets.UTF_8);
    }

    private int against(FakeAdminPort fake, String... extra) throws Exception {
        String[] args = new String[4 + extra.length];
        args[0] = "--port";
        args[1] = Integer.toString(fake.port());
        args[2] = "--timeout";
        args[3] = "1";
        System.arraycopy(extra, 0, args, 4, extra.length);
        return stop(args);
    }

    /** A port on which nothing listens: bound once, then released. */
    private static int freePort() throws IOException {
        try (ServerSocket s = new ServerSocket(0, 1, InetAddress.getLoopbackAddress())) {
            return s.getLocalPort();
        }
    }

    @Test
    public void okMeansStoppedAndTheCredentialsAreSent() throws Exception {
        try (FakeAdminPort fake = new FakeAdminPort(FakeAdminPort.Behaviour.ANSWER, "OK\n")) {
            assertEquals(0, against(fake, "--user", "admin", "--password", "pass word"));
            assertEquals("STOP admin pass word", fake.received());
        }
    }

    @Test
    public void okWithCarriageReturnIsStillOk() throws Exception {
        try (FakeAdminPort fake = new FakeAdminPort(FakeAdminPort.Behaviour.ANSWER, "OK\r\n")) {
            assertEquals(0, against(fake));
            assertEquals("STOP", fake.received());
        }
    }

    @Test
    public void unresolvableHostIsMinusOne() throws Exception {
        assertEquals(-1, stop("--host", "no-such-host.invalid", "--port", "8889"));
    }

    @Test
    public void missingOrBadPortIsMinusTwo() throws Exception {
        assertEquals(-2, stop());
        assertEquals(-2, stop("--port", "0"));
        assertEquals(-2, stop("--port", "65536"));
        assertEquals(-2, stop("--port", "eighty"));
    }

    @Test
    public void silenceIsMinusThree() throws Exception {
        try (FakeAdminPort fake = new FakeAdminPort(FakeAdminPort.Behaviour.SILENT, null)) {
            long started = System.nanoTime();
            assertEquals(-3, against(fake));
            long millis = (System.nanoTime() - started) / 1_000_000;
            assertTrue("waited " + millis + " ms for a 1 s time-out", millis >= 900 && millis < 3_500);
        }
    }

    @Test
    public void closingWithoutAnAnswerIsMinusThree() throws Exception {
        try (FakeAdminPort fake = new FakeAdminPort(FakeAdminPort.Behaviour.CLOSE, null)) {
            assertEquals(-3, against(fake));
        }
    }

    @Test
    public void deniedIsMinusFour() throws Exception {
        try (FakeAdminPort fake = new FakeAdminPort(FakeAdminPort.Behaviour.ANSWER, "DENIED\n")) {
            assertEquals(-4, against(fake, "--user", "admin", "--password", "wrong"));
        }
    }

    @Test
    public void nothingListeningIsMinusFive() throws Exception {
        assertEquals(-5, stop("--port", Integer.toString(freePort()), "--timeout", "2"));
    }

    @Test
    public void garbageErrorOrEmptyLineIsMinusSix() throws Exception {
        for (String answer : new String[] {"HTTP/1.1 200 OK\r\n", "ERROR\n", "\n", "OKAY\n", "ok\n"}) {
            try (FakeAdminPort fake = new FakeAdminPort(FakeAdminPort.Behaviour.ANSWER, answer)) {
                assertEquals(answer, -6, against(fake));
            }
        }
    }

    @Test
    public void resetConnectionIsMinusSeven() throws Exception {
        try (FakeAdminPort fake = new FakeAdminPort(FakeAdminPort.Behaviour.RESET, null)) {
            assertEquals(-7, against(fake));
        }
    }

    @Test
    public void helpIsMinusEightAndPrintsUsage() throws Exception {
        assertEquals(-8, stop("-help"));
        assertTrue(out(), out().contains("usage: StopServer"));
        // -help wins even over otherwise bad options: the user asked how to call it.
        assertEquals(-8, stop("--port", "x", "-help"));
    }

    @Test
    public void badOptionsAreMinusNine() throws Exception {
        assertEquals(-9, stop("--port", "8889", "--frobnicate", "1"));
        assertEquals(-9, stop("--port"));
        assertEquals(-9, stop("--port", "8889", "--user", "admin"));
        assertEquals(-9, stop("--port", "8889", "--password", "secret"));
        assertEquals(-9, stop("--port", "8889", "--user", "two words", "--password", "p"));
        assertEquals(-9, stop("--port", "8889", "--timeout", "0"));
        assertEquals(-9, stop("--port", "8889", "--timeout", "soon"));
    }

    // The real instance through its admin port.

    private static final class Instance {
        final AppServer server;
        final AdminPort admin;
        final Thread acceptor;

        Instance(String user, String password) throws IOException {
            PrintStream quiet = new PrintStream(new ByteArrayOutputStream(), true);
            server = new AppServer(0, Applications.builtIn(), 120_000, 4, quiet);
            admin = new AdminPort(0, new AdminCredentials(user, password), server::close, quiet);
            acceptor = new Thread(server::serve);
            acceptor.start();
        }

        void shutDown() throws InterruptedException {
            admin.close();
            server.close();
            acceptor.join(10_000);
        }
    }

    private static void assertRefused(int port) throws IOException {
        try (Socket s = new Socket()) {
            s.connect(new InetSocketAddress(InetAddress.getLoopbackAddress(), port), 2_000);
            fail("port " + port + " still accepts connections");
        } catch (ConnectException expected) {
            // The listener is gone.
        }
    }

    @Test
    public void realInstanceStopsAndItsPortRefusesConnections() throws Exception {
        Instance instance = new Instance("admin", "s3cret word");
        try {
            int port = instance.server.port();
            new Socket(InetAddress.getLoopbackAddress(), port).close();
            assertEquals(0, stop("--port", Integer.toString(instance.admin.port()), "--user", "admin",
                                 "--password", "s3cret word", "--timeout", "10"));
            // OK is sent only after the listener is closed, so no waiting is needed here.
            assertRefused(port);
            instance.acceptor.join(10_000);
            assertFalse("serve() returned", instance.acceptor.isAlive());
            // The admin port closes with the instance: a second stop finds nobody.
            assertEquals(-5, stop("--port", Integer.toString(instance.admin.port()), "--timeout", "2"));
        } finally {
            instance.shutDown();
        }
    }

    @Test
    public void realInstanceDeniesWrongCredentialsAndKeepsServing() throws Exception {
        Instance instance = new Instance("admin", "secret");
        try {
            String adminPort = Integer.toString(instance.admin.port());
            assertEquals(-4, stop("--port", adminPort, "--user", "admin", "--password", "secreT"));
            assertEquals(-4, stop("--port", adminPort, "--user", "root", "--password", "secret"));
            assertEquals(-4, stop("--port", adminPort));
            new Socket(InetAddress.getLoopbackAddress(), instance.server.port()).close();
            assertEquals(0, stop("--port", adminPort, "--user", "admin", "--password", "secret"));
        } finally {
            instance.shutDown();
        }
    }

    @Test
    public void realInstanceAnswersErrorToOtherCommands() throws Exception {
        Instance instance = new Instance("admin", "secret");
        try {
            for (String line : new String[] {"HALT admin secret\n", "STOP admin\n", "\n"}) {
                try (Socket s = new Socket(InetAddress.getLoopbackAddress(), instance.admin.port())) {
                    s.getOutputStream().write(line.getBytes(StandardCharsets.UTF_8));
                    byte[] answer = s.getInputStream().readAllBytes();
                    assertEquals(line, "ERROR\n", new String(answer, StandardCharsets.UTF_8));
                }
            }
            new Socket(InetAddress.getLoopbackAddress(), instance.server.port()).close();
        } finally {
            instance.shutDown();
        }
    }

    @Test
    public void instanceWithoutCredentialsStopsOnABareStop() throws Exception {
        Instance instance = new Instance(null, null);
        try {
            assertEquals(0, stop("--port", Integer.toString(instance.admin.port())));
            assertRefused(instance.server.port());
        } finally {
            instance.shutDown();
        }
    }
}
