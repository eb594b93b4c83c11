package com.orlena.tessel.brevant.http;

import java.net.URLDecoder;
import java.nio.charset.StandardCharsets;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;

/** Name/value pairs of an urlencoded text (a query string or a form body), in order. */
public final class Parameters {
    private final Map<String, List<String>> values = new LinkedHashMap<>();

    /** Adds the pairs of "a=1&b=2"; a null or empty text adds nothing. */
    void addEncoded(String text) {
        if (text == null || text.isEmpty()) {
            return;
        }
        for (String pair : text.split("&")) {
            if (pair.isEmpty()) {
                continue;
            }
            int eq = pair.indexOf('=');
            String name = eq < 0 ? pair : pair.substring(0, eq);
            String value = eq < 0 ? "" : pair.substring(eq + 1);
            values.computeIfAbsent(decode(name), k -> new ArrayList<>()).add(decode(value));
        }
    }

    public String get(String name) {
        List<String> list = values.get(name);
        return list == null ? null : list.get(0);
    }

    public List<String> getAll(String name) {
        List<String> list = values.get(name);
        return list == null ? List.of() : List.copyOf(list);
    }

    public List<String> names() {
        return List.copyOf(values.keySet());
    }

    private static String decode(String text) {
        try {
            return URLDecoder.decode(text, StandardCharsets.UTF_8);
        } catch (IllegalArgumentException e) {
            // A malformed escape is the client's mistake; keep its text as it came.
            return text;
        }
    }
}
