package com.orlena.tessel.brevant.inprocess;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;

/**
 * Who may reach which URLs while IIS security is on, from the optional file "access.txt"
 * in the data directory: a line "URL-prefix user" allows that user under the prefix, and
 * the user "*" allows any authenticated user; blank lines and lines starting with "#" are
 * skipped. A URL under no rule's prefix is allowed, so that an absent file restricts
 * nothing; a URL under some rule's prefix is allowed only to a user one of those rules
 * names. User names compare without case, as Windows account names do. Immutable once
 * loaded.
 */
public final class AccessRules {
    static final String FILE_NAME = "access.txt";

    private final List<String[]> rules = new ArrayList<>();

    public static AccessRules load(Path dataDirectory) throws IOException {
        AccessRules access = new AccessRules();
        if (dataDirectory == null) {
            return access;
        }
        Path file = dataDirectory.resolve(FILE_NAME);
        if (!Files.isRegularFile(file)) {
            return access;
        }
        for (String line : Files.readAllLines(file, StandardCharsets.UTF_8)) {
            String rule = line.trim();
            if (rule.isEmpty() || rule.startsWith("#")) {
                continue;
            }
            String[] parts = rule.split("\\s+", 2);
            if (parts.length == 2) {
                access.rules.add(new String[] {parts[0], parts[1].trim()});
            }
        }
        return access;
    }

    public boolean allows(String url, String user) {
        String path = url == null ? "" : url;
        int q = path.indexOf('?');
        if (q >= 0) {
            path = path.substring(0, q);
        }
        boolean restricted = false;
        for (String[] rule : rules) {
            if (!path.startsWith(rule[0])) {
                continue;
            }
            restricted = true;
            if (user != null && !user.isEmpty()
                && (rule[1].equals("*") || rule[1].equalsIgnoreCase(user))) {
                return true;
            }
        }
        return !restricted;
    }
}
