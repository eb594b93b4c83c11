package com.orlena.tessel.brevant.http;

import java.util.Map;

/** Reason phrases for the status line. */
final class StatusText {
    private static final Map<Integer, String> TEXTS = Map.ofEntries(
        Map.entry(200, "OK"), Map.entry(201, "Created"), Map.entry(202, "Accepted"),
        Map.entry(204, "No Content"), Map.entry(206, "Partial Content"), Map.entry(301, "Moved Permanently"),
        Map.entry(302, "Found"), Map.entry(303, "See Other"), Map.entry(304, "Not Modified"),
        Map.entry(307, "Temporary Redirect"), Map.entry(308, "Permanent Redirect"), Map.entry(400, "Bad Request"),
        Map.entry(401, "Unauthorized"), Map.entry(403, "Forbidden"), Map.entry(404, "Not Found"),
        Map.entry(405, "Method Not Allowed"), Map.entry(406, "Not Acceptable"), Map.entry(408, "Request Timeout"),
        Map.entry(409, "Conflict"), Map.entry(410, "Gone"), Map.entry(411, "Length Required"),
        Map.entry(412, "Precondition Failed"), Map.entry(413, "Payload Too Large"),
        Map.entry(415, "Unsupported Media Type"), Map.entry(416, "Range Not Satisfiable"),
        Map.entry(417, "Expectation Failed"), Map.entry(429, "Too Many Requests"),
        Map.entry(500, "Internal Server Error"), Map.entry(501, "Not Implemented"), Map.entry(502, "Bad Gateway"),
        Map.entry(503, "Service Unavailable"), Map.entry(504, "Gateway Timeout"));

    private StatusText() {
    }

    static String of(int code) {
        return TEXTS.getOrDefault(code, "Status " + code);
    }
}
