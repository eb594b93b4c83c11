package com.orlena.tessel.brevant.wire;

import com.orlena.tessel.brevant.apps.Applications;
import com.orlena.tessel.brevant.http.ConnectionInfo;
import com.orlena.tessel.brevant.http.MalformedRequestException;
import com.orlena.tessel.brevant.http.Pages;
import com.orlena.tessel.brevant.http.Request;
import com.orlena.tessel.brevant.http.RequestBody;
import com.orlena.tessel.brevant.http.RequestHead;
import com.orlena.tessel.brevant.http.Response;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.PrintStream;

/**
 * Serves one request of an adapter connection, from the instance's side: reads the
 * request head, the additional-information block and the preloaded body, lets the
 * application answer through command-0 frames (asking for more body with command 1 and
 * for the certificate with command 2), then ends the exchange: with command 3 when the
 * adapter's head carried the exchange line and the body was consumed to its end, else
 * by having the connection closed. Logs one line per exchange.
 *
 * Known limitation of the wire format without the exchange line: the adapter sends the
 * bytes the web server read ahead without a count. We take them to be
 * min(Content-Length, 48 KiB), the read-ahead IIS (and isapihost) performs; a web server
 * configured for another read-ahead makes this count wrong and the body is misread.
 */
final class WireExchange {
    /** What the web server reads ahead of the extension: 48 KiB. */
    static final int PRELOAD_LIMIT = 48 * 1024;
    /** Most unread body read and dropped to keep the connection; a longer rest costs more than a new connection. */
    static final long DRAIN_LIMIT = 1024 * 1024;

    private final InputStream in;
    private final OutputStream out;
    private final WireHeadReader reader;
    private final Applications apps;
    private final PrintStream log;
    private final String peer;
    /** The application failed after its head was sent: the response is cut short. Per run. */
    private boolean cutShort;

    /** REQUIRES: in is buffered and read only through reader and here. */
    WireExchange(InputStream in, OutputStream out, WireHeadReader reader, Applications apps, PrintStream log,
                 String peer) {
        this.in = in;
        this.out = out;
        this.reader = reader;
        this.apps = apps;
        this.log = log;
        this.peer = peer;
    }

    /**
     * Serves the exchange whose head is arriving; reused: the connection served one before,
     * so a head that does not come (or comes malformed) just ends it, without an answer.
     * Answers whether the exchange ended with command 3; if not, the connection is to close.
     */
    boolean run(boolean reused) {
        long started = System.nanoTime();
        cutShort = false;
        String what = "-";
        Response response = null;
        String outcome;
        boolean next = false;
        try {
            RequestHead head;
            ConnectionInfo info;
            byte[] preloaded;
            try {
                head = reader.readHead();
                what = head.method() + " " + head.requestedUrl();
                info = reader.readAdditionalInfo();
                preloaded = readPreloaded(head);
            } catch (MalformedRequestException e) {
                if (!reused) {
                    response = new Response(new WireResponseSink(out), WireKeepAlive.never(), 0);
                    Pages.text(response, 400, "Bad request: " + e.getMessage() + "\n");
                    response.finish();
                    out.flush();
                }
                log.println(logLine(what, response, "malformed: " + e.getMessage(), started));
                return false;
            } catch (IOException e) {
                if (reused) {
                    return false;  // the adapter closed an idle connection, mid-way or not
                }
                throw e;
            }
            boolean extension = reader.preloaded() >= 0;
            WireBodySource source = new WireBodySource(in, out);
            RequestBody body = new RequestBody(preloaded, source, head.headers().contentLength());
            WireKeepAlive keepAlive = WireKeepAlive.of(head, extension, preloaded.length, body::unreadBytes);
            response = new Response(new WireResponseSink(out), keepAlive, WireCommands.MAX_FRAME);
            outcome = serve(new Request(head, info, null, body, new WireCertificate(in, out)), response);
            response.finish();
            if (extension && !cutShort && !WireKeepAlive.unframedBody(head.headers(), preloaded.length)
                && drain(body) && !source.ended()) {
                // The adapter relays Content-Length bytes, so a length that is not the body's
                // must end the client connection even though the head promised otherwise.
                boolean keepClient = keepAlive.kept() && response.bodyBytes() == response.contentLength();
                out.write(new byte[] {WireCommands.END_EXCHANGE, (byte) (keepClient ? 1 : 0)});
                next = true;
            }
            out.flush();
        } catch (IOException e) {
            // The adapter went away or fell silent past the time-out: nothing more can be sent.
            outcome = "connection: " + e.getMessage();
            next = false;
        }
        log.println(logLine(what, response, outcome, started));
        return next;
    }

    /** Exactly the count of the exchange line, else the guess described above. */
    private byte[] readPreloaded(RequestHead head) throws IOException, MalformedRequestException {
        long contentLength = head.headers().contentLength();
        int count = reader.preloaded();
        if (count < 0) {
            count = (int) Math.min(Math.max(contentLength, 0), PRELOAD_LIMIT);
        } else if (contentLength >= 0 && count > contentLength) {
            throw new MalformedRequestException("more preloaded bytes than Content-Length: " + count);
        }
        byte[] preloaded = in.readNBytes(count);
        if (preloaded.length < count) {
            throw new IOException("connection closed inside the preloaded body");
        }
        return preloaded;
    }

    /** Reads what the application left of the body, if that is little; whether all is read. */
    private static boolean drain(RequestBody body) throws IOException {
        if (body.unreadBytes() > DRAIN_LIMIT) {
            return false;
        }
        byte[] buf = new byte[8192];
        while (body.read(buf, 0, buf.length) > 0) {
            // dropped: nobody asked for these bytes
        }
        return true;
    }

    private String serve(Request request, Response response) throws IOException {
        try {
            apps.dispatch(request, response);
            return "ok";
        } catch (RuntimeException e) {
            // An application's fault must not take the instance down; answer 500 if we still can.
            if (!response.isCommitted()) {
                response.reset();
                Pages.text(response, 500, "Internal error\n");
            } else {
                cutShort = true;
            }
            return "application failed: " + e;
        }
    }

    private String logLine(String what, Response response, String outcome, long started) {
        long ms = (System.nanoTime() - started) / 1_000_000;
        String status = response != null && response.isCommitted() ? String.valueOf(response.status()) : "-";
        long bytes = response != null ? response.bodyBytes() : 0;
        return String.format("%s %s %s %d %dms %s", peer, what, status, bytes, ms, outcome);
    }
}
