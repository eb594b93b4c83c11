package com.orlena.tessel.brevant.inprocess;

import com.orlena.tessel.brevant.apps.Applications;
import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/**
 * Which URLs besides "/servlet/" the engine serves, from the optional file "aliases.txt"
 * in the data directory: one alias a line, a prefix when it begins with "/" (such as
 * /app/), otherwise a suffix (such as .jsp); blank lines and lines starting with "#" are
 * skipped. Matching is on the path without its query string and is case-sensitive, as the
 * connector's own "/servlet/" test is. Immutable once loaded.
 */
public final class ServletAliases {
    static final String FILE_NAME = "aliases.txt";

    private final List<String> prefixes = new ArrayList<>();
    private final List<String> suffixes = new ArrayList<>();

    /** No file (or no directory) means no aliases beyond "/servlet/". */
    public static ServletAliases load(Path dataDirectory) throws IOException {
        ServletAliases aliases = new ServletAliases();
        if (dataDirectory == null) {
            return aliases;
        }
        Path file = dataDirectory.resolve(FILE_NAME);
        if (!Files.isRegularFile(file)) {
            return aliases;
        }
        for (String line : Files.readAllLines(file, StandardCharsets.UTF_8)) {
            String alias = line.trim();
            if (alias.isEmpty() || alias.startsWith("#")) {
                continue;
            }
            (alias.startsWith("/") ? aliases.prefixes : aliases.suffixes).add(alias);
        }
        return aliases;
    }

    public boolean matches(String url) {
        if (url == null) {
            return false;
        }
        int q = url.indexOf('?');
        String path = q < 0 ? url : url.substring(0, q);
        if (path.startsWith(Applications.PREFIX)) {
            return true;
        }
        for (String p : prefixes) {
            if (path.startsWith(p)) {
                return true;
            }
        }
        for (String s : suffixes) {
            if (path.endsWith(s)) {
                return true;
            }
        }
        return false;
    }
}
