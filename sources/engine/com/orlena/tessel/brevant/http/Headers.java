package com.orlena.tessel.brevant.http;

import java.util.ArrayList;
import java.util.Collections;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;

/**
 * Request headers in arrival order. Names are matched without regard to case, because
 * the connectors hand them over in upper case ("ACCEPT-LANGUAGE") while applications ask
 * for "Accept-Language". Filled by one parser thread, then only read.
 */
public final class Headers {
    private final Map<String, List<String>> byName = new LinkedHashMap<>();
    private final Map<String, String> displayName = new LinkedHashMap<>();

    public void add(String name, String value) {
        String key = name.toLowerCase(Locale.ROOT);
        byName.computeIfAbsent(key, k -> new ArrayList<>()).add(value);
        displayName.putIfAbsent(key, name);
    }

    /** The first value of the header, or null when the request has none. */
    public String get(String name) {
        List<String> values = byName.get(name.toLowerCase(Locale.ROOT));
        return values == null ? null : values.get(0);
    }

    public List<String> getAll(String name) {
        List<String> values = byName.get(name.toLowerCase(Locale.ROOT));
        return values == null ? List.of() : Collections.unmodifiableList(values);
    }

    /** Header names as they arrived, first occurrence order. */
    public List<String> names() {
        return List.copyOf(displayName.values());
    }

    /** Whether a comma-separated header value such as Connection's lists `token`, in any case. */
    public static boolean hasToken(String value, String token) {
        for (String listed : value.split(",")) {
            if (listed.trim().equalsIgnoreCase(token)) {
                return true;
            }
        }
        return false;
    }

    /** Content-Length, or -1 when absent or not a non-negative number. */
    public long contentLength() {
        String value = get("Content-Length");
        if (value == null) {
            return -1;
        }
        try {
            long length = Long.parseLong(value.trim());
            return length < 0 ? -1 : length;
        } catch (NumberFormatException e) {
            return -1;
        }
    }
}
