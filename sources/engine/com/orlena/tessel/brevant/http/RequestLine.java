package com.orlena.tessel.brevant.http;

/** "METHOD URL PROTOCOL", as both connectors write it. */
public final class RequestLine {
    public final String method;
    public final String url;
    public final String protocol;

    private RequestLine(String method, String url, String protocol) {
        this.method = method;
        this.url = url;
        this.protocol = protocol;
    }

    public static RequestLine parse(String line) throws MalformedRequestException {
        int first = line.indexOf(' ');
        int last = line.lastIndexOf(' ');
        if (first <= 0 || last <= first) {
            throw new MalformedRequestException("bad request line: " + line);
        }
        // The URL sits between the first and the last blank, so a blank inside it survives.
        return new RequestLine(line.substring(0, first), line.substring(first + 1, last),
                               line.substring(last + 1));
    }
}
