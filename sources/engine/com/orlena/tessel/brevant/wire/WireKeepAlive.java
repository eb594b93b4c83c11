package com.orlena.tessel.brevant.wire;

import com.orlena.tessel.brevant.http.Headers;
import com.orlena.tessel.brevant.http.RequestHead;
import com.orlena.tessel.brevant.http.Response;
import java.util.function.LongSupplier;

/**
 * Decides, as a response's head is sent on the wire, whether the client connection
 * outlives the response: only when the adapter's head carried the exchange line, the
 * client allowed keep-alive, the request's body (if any) had a Content-Length, and the
 * response has a length and no "Connection: close" of its own. Otherwise the head says
 * "Connection: close", since the adapter then closes the client connection. Responses a
 * client reads without a body (HEAD, 1xx, 204, 304) are never kept: an application may
 * have written one anyway, which would end up as the start of the next response. Nor is
 * a connection whose request still has more body unread than the exchange would drain.
 * Used by the thread serving the exchange.
 */
final class WireKeepAlive implements Response.ConnectionEnd {
    private final boolean requestAllows;
    private final LongSupplier unreadBody;
    private boolean kept;

    private WireKeepAlive(boolean requestAllows, LongSupplier unreadBody) {
        this.requestAllows = requestAllows;
        this.unreadBody = unreadBody;
    }

    /**
     * For a request whose head the adapter sent with (extension) or without the exchange
     * line; unreadBody tells how much of its body the application has not read.
     */
    static WireKeepAlive of(RequestHead head, boolean extension, int preloaded, LongSupplier unreadBody) {
        return new WireKeepAlive(extension && !head.method().equals("HEAD") && clientAllows(head)
                                 && !unframedBody(head.headers(), preloaded), unreadBody);
    }

    /** For answers that end the connection whatever the request said (a malformed head). */
    static WireKeepAlive never() {
        return new WireKeepAlive(false, () -> 0);
    }

    @Override
    public boolean addsClose(int status, long contentLength, boolean applicationClose) {
        boolean bodyless = status < 200 || status == 204 || status == 304;
        kept = requestAllows && contentLength >= 0 && !applicationClose && !bodyless
            && unreadBody.getAsLong() <= WireExchange.DRAIN_LIMIT;
        return !kept && !applicationClose;
    }

    /** Whether the head just sent promised to keep the client connection. */
    boolean kept() {
        return kept;
    }

    /** A body whose end only the connection's close marks: no usable Content-Length. */
    static boolean unframedBody(Headers headers, int preloaded) {
        return headers.contentLength() < 0
            && (preloaded > 0 || headers.get("Content-Length") != null || headers.get("Transfer-Encoding") != null);
    }

    /** HTTP/1.1 unless the client said close; HTTP/1.0 only when it asked for keep-alive. */
    private static boolean clientAllows(RequestHead head) {
        boolean close = false;
        boolean keepAlive = false;
        for (String value : head.headers().getAll("Connection")) {
            close |= Headers.hasToken(value, "close");
            keepAlive |= Headers.hasToken(value, "keep-alive");
        }
        if (close) {
            return false;
        }
        return head.protocol().equals("HTTP/1.1") || (head.protocol().equals("HTTP/1.0") && keepAlive);
    }
}
