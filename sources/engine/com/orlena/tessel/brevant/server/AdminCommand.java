package com.orlena.tessel.brevant.server;

/** One admin-port line, "STOP" with optional user and password; see AdminPort for the format. */
final class AdminCommand {
    final String user;
    final String password;

    private AdminCommand(String user, String password) {
        this.user = user;
        this.password = password;
    }

    /** The command, or null when the line is not a STOP line. */
    static AdminCommand parse(String line) {
        if (line == null) {
            return null;
        }
        if (line.equals("STOP")) {
            return new AdminCommand("", "");
        }
        if (!line.startsWith("STOP ")) {
            return null;
        }
        String rest = line.substring(5);
        int space = rest.indexOf(' ');
        if (space < 0) {
            // A user without a password is a malformed line, not a wrong password.
            return null;
        }
        return new AdminCommand(rest.substring(0, space), rest.substring(space + 1));
    }

    /** The line a client sends; the inverse of parse. */
    static String line(String user, String password) {
        if (user == null || user.isEmpty()) {
            return "STOP";
        }
        return "STOP " + user + " " + (password == null ? "" : password);
    }
}
