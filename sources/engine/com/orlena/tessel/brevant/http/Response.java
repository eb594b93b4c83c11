package com.orlena.tessel.brevant.http;

import java.io.IOException;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;

/**
 * One response: status and headers go out once, before the first body byte; the body
 * follows in as many pieces as the application writes. With a known length the head
 * carries Content-Length; whether it also says "Connection: close" is the transport's
 * choice (ConnectionEnd): in-process, exactly when no length is known, and then the close
 * of the connection ends the body. A transport may have the first body bytes held back
 * while no length is set, so that a response finished within them gets its length.
 * Used by the one thread serving the request.
 */
public final class Response {
    /** Decides, as the head is sent, whether it carries "Connection: close". */
    public interface ConnectionEnd {
        /**
         * contentLength is -1 when unknown; applicationClose tells that the application's
         * own headers already say "Connection: close". Called once per response.
         */
        boolean addsClose(int status, long contentLength, boolean applicationClose);
    }

    /** The in-process connector's rule: a body without a length ends with the connection. */
    private static final ConnectionEnd UNLESS_LENGTH_KNOWN = (status, length, applicationClose) -> length < 0;

    private final ResponseSink sink;
    private final ConnectionEnd end;
    /** Most body bytes held before the head while no length is set. */
    private final int holdBack;
    /** Made on the first held byte: most responses set their length and hold nothing. */
    private byte[] held;
    private int heldLength;
    private int status = 200;
    private final List<String[]> headers = new ArrayList<>();
    private long contentLength = -1;
    private boolean committed;
    private boolean finished;
    private long bodyBytes;
    private final OutputStream body = new BodyStream();

    public Response(ResponseSink sink) {
        this(sink, UNLESS_LENGTH_KNOWN, 0);
    }

    /** holdBack: how many body bytes may wait for finish() to give the head their length. */
    public Response(ResponseSink sink, ConnectionEnd end, int holdBack) {
        this.sink = sink;
        this.end = end;
        this.holdBack = holdBack;
    }

    /** REQUIRES: the head is not yet sent. */
    public void setStatus(int code) {
        requireUncommitted();
        status = code;
    }

    public int status() { return status; }

    public void addHeader(String name, String value) {
        requireUncommitted();
        headers.add(new String[] {name, value});
    }

    public void setContentType(String type) {
        addHeader("Content-Type", type);
    }

    public void setContentLength(long length) {
        requireUncommitted();
        contentLength = length;
    }

    /** The length set, or computed at finish; -1 while unknown. */
    public long contentLength() { return contentLength; }

    public boolean isCommitted() { return committed; }

    /** REQUIRES: the head is not yet sent. Forgets status, headers, length and held body. */
    public void reset() {
        requireUncommitted();
        status = 200;
        headers.clear();
        contentLength = -1;
        heldLength = 0;
        bodyBytes = 0;
    }

    /** Body bytes written so far. */
    public long bodyBytes() { return bodyBytes; }

    public OutputStream body() { return body; }

    public void write(String text) throws IOException {
        body.write(text.getBytes(StandardCharsets.UTF_8));
    }

    /** Sends the head if nothing was written (a body-less response has length 0), then the rest. */
    public void finish() throws IOException {
        if (finished) {
            return;
        }
        if (!committed && contentLength < 0) {
            contentLength = heldLength;
        }
        commit();
        finished = true;
        sink.finish();
    }

    /**
     * Sends the head and every body byte written so far, as an application's flush asks:
     * a response flushed before its length is known goes without one.
     */
    public void flush() throws IOException {
        if (finished) {
            return;
        }
        commit();
        sink.flush();
    }

    private void commit() throws IOException {
        if (committed) {
            return;
        }
        committed = true;
        StringBuilder head = new StringBuilder(256);
        head.append("HTTP/1.1 ").append(status).append(' ').append(StatusText.of(status)).append("\r\n");
        for (String[] h : headers) {
            head.append(h[0]).append(": ").append(h[1]).append("\r\n");
        }
        if (contentLength >= 0) {
            head.append("Content-Length: ").append(contentLength).append("\r\n");
        }
        if (end.addsClose(status, contentLength, saysClose())) {
            head.append("Connection: close\r\n");
        }
        head.append("\r\n");
        byte[] bytes = head.toString().getBytes(StandardCharsets.ISO_8859_1);
        sink.write(bytes, 0, bytes.length);
        if (heldLength > 0) {
            sink.write(held, 0, heldLength);
            heldLength = 0;
        }
    }

    /** Whether a Connection header of the application has the token "close". */
    private boolean saysClose() {
        for (String[] h : headers) {
            if (h[0].equalsIgnoreCase("Connection") && Headers.hasToken(h[1], "close")) {
                return true;
            }
        }
        return false;
    }

    private void requireUncommitted() {
        if (committed) {
            throw new IllegalStateException("response head already sent");
        }
    }

    private final class BodyStream extends OutputStream {
        @Override
        public void write(int b) throws IOException {
            write(new byte[] {(byte) b}, 0, 1);
        }

        @Override
        public void write(byte[] buf, int off, int len) throws IOException {
            if (finished) {
                throw new IOException("response already finished");
            }
            if (!committed && contentLength < 0 && holdBack > 0 && len <= holdBack - heldLength) {
                if (held == null) {
                    held = new byte[holdBack];
                }
                System.arraycopy(buf, off, held, heldLength, len);
                heldLength += len;
                bodyBytes += len;
                return;
            }
            commit();
            if (len > 0) {
                sink.write(buf, off, len);
                bodyBytes += len;
            }
        }
    }
}
