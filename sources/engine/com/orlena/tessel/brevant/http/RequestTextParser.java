package com.orlena.tessel.brevant.http;

/**
 * Parses the request text the in-process connector passes to ProcessRequest: the request
 * line, then ALL_HTTP ("HTTP_NAME:value" lines). The request line names the connector's
 * own extension URL; the URL the client asked for is the marker header's value.
 */
public final class RequestTextParser {
    static final String MARKER = "X-BREVANT-REQUEST";
    private static final String CONNECTOR_PREFIX = "X-BREVANT-";

    private RequestTextParser() {
    }

    public static RequestHead parse(String text) throws MalformedRequestException {
        String[] lines = text.split("\r?\n");
        if (lines.length == 0 || lines[0].isEmpty()) {
            throw new MalformedRequestException("empty request text");
        }
        RequestLine line = RequestLine.parse(lines[0]);
        Headers headers = new Headers();
        String requested = null;
        for (int i = 1; i < lines.length; i++) {
            String entry = lines[i];
            if (entry.isEmpty()) {
                continue;
            }
            int colon = entry.indexOf(':');
            if (!entry.startsWith("HTTP_") || colon <= 5) {
                throw new MalformedRequestException("bad header line: " + entry);
            }
            String name = entry.substring(5, colon).replace('_', '-');
            String value = entry.substring(colon + 1);
            if (name.equals(MARKER)) {
                requested = value;
            } else if (!name.startsWith(CONNECTOR_PREFIX)) {
                // Like the adapter, keep the connectors' own routing headers from the application.
                headers.add(name, value);
            }
        }
        return new RequestHead(line.method, requested != null ? requested : line.url, line.protocol,
                               headers);
    }
}
