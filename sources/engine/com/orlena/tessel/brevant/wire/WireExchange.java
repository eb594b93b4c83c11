package com.orlena.tessel.brevant.wire;

import com.orlena.tessel.brevant.apps.Applications;
import com.orlena.tessel.brevant.http.ConnectionInfo;
import com.orlena.tessel.brevant.http.MalformedRequestException;
import com.orlena.tessel.brevant.http.Pages;
import com.orlena.tessel.brevant.http.Request;
import com.orlena.tessel.brevant.http.RequestBody;
import com.orlena.tessel.brevant.http.RequestHead;
import com.orlena.tessel.brevant.http.Response;
import java.io.BufferedInputStream;
import java.io.BufferedOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.PrintStream;
import java.net.Socket;

/**
 * Serves the one request of an adapter connection, from the instance's side: reads the
 * request head, the additional-information block and the preloaded body, lets the
 * application answer through command-0 frames (asking for more body with command 1 and
 * for the certificate with command 2), then closes the connection.
 *
 * Known limitation of the wire format: the adapter sends the bytes the web server read
 * ahead without a count. We take them to be min(Content-Length, 48 KiB), the read-ahead
 * IIS (and isapihost) performs; a web server configured for another read-ahead makes
 * this count wrong and the body is misread.
 */
public final class WireExchange {
    /** What the web server reads ahead of the extension: 48 KiB. */
    static final int PRELOAD_LIMIT = 48 * 1024;

    private final Socket socket;
    private final Applications apps;
    private final PrintStream log;

    public WireExchange(Socket socket, Applications apps, PrintStream log) {
        this.socket = socket;
        this.apps = apps;
        this.log = log;
    }

    /** REQUIRES: the socket's read time-out is already set. Closes the socket. */
    public void run() {
        long started = System.nanoTime();
        String what = "-";
        Response response = null;
        String outcome;
        try (Socket s = socket) {
            InputStream in = new BufferedInputStream(s.getInputStream(), 64 * 1024);
            OutputStream out = new BufferedOutputStream(s.getOutputStream(), WireCommands.MAX_FRAME + 5);
            response = new Response(new WireResponseSink(out));
            WireHeadReader reader = new WireHeadReader(in);
            RequestHead head;
            ConnectionInfo info;
            try {
                head = reader.readHead();
                what = head.method() + " " + head.requestedUrl();
                info = reader.readAdditionalInfo();
            } catch (MalformedRequestException e) {
                Pages.text(response, 400, "Bad request: " + e.getMessage() + "\n");
                response.finish();
                log.println(logLine(what, response, "malformed: " + e.getMessage(), started));
                return;
            }
            long contentLength = head.headers().contentLength();
            byte[] preloaded = in.readNBytes((int) Math.min(Math.max(contentLength, 0), PRELOAD_LIMIT));
            RequestBody body = new RequestBody(preloaded, new WireBodySource(in, out), contentLength);
            Request request = new Request(head, info, null, body, new WireCertificate(in, out));
            outcome = serve(request, response);
            response.finish();
        } catch (IOException e) {
            // The adapter went away or fell silent past the time-out: nothing more can be sent.
            outcome = "connection: " + e.getMessage();
        }
        log.println(logLine(what, response, outcome, started));
    }

    private String serve(Request request, Response response) throws IOException {
        try {
            apps.dispatch(request, response);
            return "ok";
        } catch (RuntimeException e) {
            // An application's fault must not take the instance down; answer 500 if we still can.
            if (!response.isCommitted()) {
                Pages.text(response, 500, "Internal error\n");
            }
            return "application failed: " + e;
        }
    }

    private String logLine(String what, Response response, String outcome, long started) {
        long ms = (System.nanoTime() - started) / 1_000_000;
        String status = response != null && response.isCommitted() ? String.valueOf(response.status()) : "-";
        long bytes = response != null ? response.bodyBytes() : 0;
        return String.format("%s %s %s %d %dms %s", socket.getInetAddress().getHostAddress(), what, status,
                             bytes, ms, outcome);
    }
}
