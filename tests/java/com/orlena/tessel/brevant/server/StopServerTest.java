package com.orlena.tessel.brevant.server;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertFalse;
import static org.junit.Assert.assertTrue;

import com.orlena.tessel.brevant.apps.Applications;
import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.PrintStream;
import java.net.InetAddress;
import java.net.ServerSocket;
import java.net.Socket;
import java.nio.charset.StandardCharsets;
import java.util.Arrays;
import org.junit.After;
import org.junit.Test;

/** The stop client's exit codes against a scripted admin port, then against a real instance. */
public class StopServerTest {
    private final ByteArrayOutputStream outBytes = new ByteArrayOutputStream();
    private AppServer server;
    private AdminPort admin;
    private Thread acceptor;

    private int stop(String... args) throws Exception {
        return StopServer.run(args, new PrintStream(outBytes, true, "UTF-8"));
    }

    private interface Script {
        void play(Socket socket) throws Exception;
    }

    /** The stop client against a port that reads the command line and then plays `script`. */
    private int against(Script script) throws Exception {
        try (ServerSocket listener = new ServerSocket(0, 4, InetAddress.getLoopbackAddress())) {
            Thread peer = new Thread(() -> {
                try (Socket socket = listener.accept()) {
                    while (socket.getInputStream().read() > '\n') {
                        // the command line, whatever it says
                    }
                    script.play(socket);
                } catch (Exception e) {
                    // The test sees the outcome through the client's exit code.
                }
            });
            peer.setDaemon(true);
            peer.start();
            return stop("--port", Integer.toString(listener.getLocalPort()), "--timeout", "1");
        }
    }

    @Test
    public void eachAnswerHasItsExitCode() throws Exception {
        Object[][] cases = {{"OK\n", 0}, {"OK\r\n", 0}, {"DENIED\n", -4}, {"HTTP/1.1 200 OK\r\n", -6},
                            {"ERROR\n", -6}, {"\n", -6}, {"OKAY\n", -6}, {"ok\n", -6}, {"", -3}};
        for (Object[] c : cases) {
            byte[] answer = ((String) c[0]).getBytes(StandardCharsets.UTF_8);
            assertEquals((String) c[0], c[1], against(socket -> socket.getOutputStream().write(answer)));
        }
        assertEquals("reset", -7, against(socket -> socket.setSoLinger(true, 0)));
    }

    @Test
    public void silenceIsMinusThreeAfterTheTimeOut() throws Exception {
        long started = System.nanoTime();
        assertEquals(-3, against(socket -> Thread.sleep(4_000)));
        long millis = (System.nanoTime() - started) / 1_000_000;
        assertTrue("waited " + millis + " ms for a 1 s time-out", millis >= 900 && millis < 3_500);
    }

    @Test
    public void badOptionsHaveTheirExitCodes() throws Exception {
        String p = "8889";  // never connected to; -5 is the stopped real instance's, below
        Object[][] cases = {
            {-1, new String[] {"--host", "no-such-host.invalid", "--port", p}},
            {-2, new String[] {}}, {-2, new String[] {"--port", "0"}},
            {-2, new String[] {"--port", "65536"}}, {-2, new String[] {"--port", "eighty"}},
            // -help wins even over otherwise bad options: the user asked how to call it.
            {-8, new String[] {"-help"}}, {-8, new String[] {"--port", "x", "-help"}},
            {-9, new String[] {"--port", p, "--frobnicate", "1"}}, {-9, new String[] {"--port"}},
            {-9, new String[] {"--port", p, "--user", "admin"}},
            {-9, new String[] {"--port", p, "--password", "secret"}},
            {-9, new String[] {"--port", p, "--user", "two words", "--password", "p"}},
            {-9, new String[] {"--port", p, "--timeout", "0"}},
            {-9, new String[] {"--port", p, "--timeout", "soon"}}};
        for (Object[] c : cases) {
            assertEquals(Arrays.toString((String[]) c[1]), c[0], stop((String[]) c[1]));
        }
        assertTrue(outBytes.toString("UTF-8").contains("usage: StopServer"));
    }

    /** A real instance with this admin user and password; answers its admin port. */
    private String startInstance(String user, String password) throws IOException {
        PrintStream quiet = new PrintStream(new ByteArrayOutputStream(), true);
        server = new AppServer(0, Applications.builtIn(), 120_000, 4, quiet);
        admin = new AdminPort(0, new AdminCredentials(user, password), server::close, quiet);
        acceptor = new Thread(server::serve);
        acceptor.start();
        return Integer.toString(admin.port());
    }

    @After
    public void stopInstance() throws InterruptedException {
        if (server != null) {
            admin.close();
            server.close();
            acceptor.join(10_000);
        }
    }

    private boolean instanceServes() {
        try {
            new Socket(InetAddress.getLoopbackAddress(), server.port()).close();
            return true;
        } catch (IOException refused) {
            return false;
        }
    }

    @Test
    public void realInstanceStopsAndItsPortsCloseWithIt() throws Exception {
        String adminPort = startInstance("admin", "s3cret word");
        assertEquals(0, stop("--port", adminPort, "--user", "admin", "--password", "s3cret word", "--timeout", "10"));
        // The listener's close may still be under way when OK arrives: the port refuses soon.
        for (int i = 0; i < 40 && instanceServes(); i++) {
            Thread.sleep(50);
        }
        assertFalse(instanceServes());
        acceptor.join(10_000);
        assertFalse("serve() returned", acceptor.isAlive());
        assertEquals(-5, stop("--port", adminPort, "--timeout", "2"));
    }

    @Test
    public void realInstanceDeniesWrongCredentialsAndOtherCommandsAndKeepsServing() throws Exception {
        String adminPort = startInstance("admin", "secret");
        assertEquals(-4, stop("--port", adminPort, "--user", "admin", "--password", "secreT"));
        assertEquals(-4, stop("--port", adminPort, "--user", "root", "--password", "secret"));
        assertEquals(-4, stop("--port", adminPort));
        for (String line : new String[] {"HALT admin secret\n", "STOP admin\n", "\n"}) {
            try (Socket s = new Socket(InetAddress.getLoopbackAddress(), Integer.parseInt(adminPort))) {
                s.getOutputStream().write(line.getBytes(StandardCharsets.UTF_8));
                assertEquals(line, "ERROR\n", new String(s.getInputStream().readAllBytes(), StandardCharsets.UTF_8));
            }
        }
        assertTrue(instanceServes());
    }

    @Test
    public void instanceWithoutCredentialsStopsOnABareStop() throws Exception {
        assertEquals(0, stop("--port", startInstance(null, null)));
        acceptor.join(10_000);
        assertFalse("serve() returned", acceptor.isAlive());
    }
}
