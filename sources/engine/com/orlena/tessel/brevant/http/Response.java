package com.orlena.tessel.brevant.http;

import java.io.IOException;
import java.io.OutputStream;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.List;

/**
 * One response: status and headers go out once, before the first body byte; the body
 * follows in as many pieces as the application writes. With a known length the head
 * carries Content-Length; without one it says "Connection: close", and the close of the
 * connection ends the body. Used by the one thread serving the request.
 */
public final class Response {
    private final ResponseSink sink;
    private int status = 200;
    private final List<String[]> headers = new ArrayList<>();
    private long contentLength = -1;
    private boolean committed;
    private boolean finished;
    private long bodyBytes;
    private final OutputStream body = new BodyStream();

    public Response(ResponseSink sink) {
        this.sink = sink;
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

    public boolean isCommitted() { return committed; }

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
            contentLength = 0;
        }
        commit();
        finished = true;
        sink.finish();
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
        } else {
            head.append("Connection: close\r\n");
        }
        head.append("\r\n");
        byte[] bytes = head.toString().getBytes(StandardCharsets.ISO_8859_1);
        sink.write(bytes, 0, bytes.length);
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
            commit();
            if (len > 0) {
                sink.write(buf, off, len);
                bodyBytes += len;
            }
        }
    }
}
