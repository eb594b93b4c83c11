package com.orlena.tessel.brevant.http;

/**
 * What the request line and the header lines say: method, the URL the client asked for
 * (with its query string) and the headers. Immutable once parsed.
 */
public final class RequestHead {
    private final String method;
    private final String requestedUrl;
    private final String protocol;
    private final Headers headers;

    public RequestHead(String method, String requestedUrl, String protocol, Headers headers) {
        this.method = method;
        this.requestedUrl = requestedUrl;
        this.protocol = protocol;
        this.headers = headers;
    }

    public String method() { return method; }
    public String requestedUrl() { return requestedUrl; }
    public String protocol() { return protocol; }
    public Headers headers() { return headers; }

    /** The path part of the requested URL, without the query string. */
    public String path() {
        int q = requestedUrl.indexOf('?');
        return q < 0 ? requestedUrl : requestedUrl.substring(0, q);
    }

    /** The query string without "?", or null when the URL has none. */
    public String queryString() {
        int q = requestedUrl.indexOf('?');
        return q < 0 ? null : requestedUrl.substring(q + 1);
    }
}
