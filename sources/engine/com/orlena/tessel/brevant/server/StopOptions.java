package com.orlena.tessel.brevant.server;

/** The stop client's command line; a bad one leaves the exit code to report in error. */
final class StopOptions {
    static final String USAGE = "usage: StopServer [--host H] --port N [--user U --password P] [--timeout SECONDS]\n"
        + "       StopServer -help\n"
        + "Asks the instance's admin port on H (default localhost) to stop; exit code 0 when it stopped.";
    static final int DEFAULT_TIMEOUT_SECONDS = 30;

    String host = "localhost";
    int port = -1;
    String user;
    String password;
    int timeoutSeconds = DEFAULT_TIMEOUT_SECONDS;
    boolean help;
    /** 0, or the StopServer exit code that the options already decide. */
    int error;
    String reason;

    static StopOptions parse(String[] args) {
        StopOptions o = new StopOptions();
        String portText = null;
        for (int i = 0; i < args.length; i++) {
            String name = args[i];
            if (name.equals("-help") || name.equals("--help") || name.equals("-h")) {
                o.help = true;
                return o;
            }
            if (i + 1 >= args.length) {
                return o.fail(StopServer.BAD_OPTIONS, "option " + name + " needs a value");
            }
            String value = args[++i];
            switch (name) {
                case "--host": o.host = value; break;
                case "--port": portText = value; break;
                case "--user": o.user = value; break;
                case "--password": o.password = value; break;
                case "--timeout": o.timeoutSeconds = seconds(value); break;
                default: return o.fail(StopServer.BAD_OPTIONS, "unknown option " + name);
            }
        }
        if (o.timeoutSeconds <= 0) {
            return o.fail(StopServer.BAD_OPTIONS, "--timeout needs a number of seconds from 1 to 3600");
        }
        if ((o.user == null) != (o.password == null)) {
            return o.fail(StopServer.BAD_OPTIONS, "--user and --password go together");
        }
        if (o.user != null && (o.user.isEmpty() || o.user.contains(" ") || o.password.contains("\n"))) {
            // The admin line separates user and password by a space and ends at a newline.
            return o.fail(StopServer.BAD_OPTIONS, "the user must be a non-empty word without spaces");
        }
        o.port = port(portText);
        if (o.port < 0) {
            return o.fail(StopServer.BAD_PORT, portText == null ? "--port is required"
                                                                : "bad port " + portText + ", give 1 to 65535");
        }
        return o;
    }

    private StopOptions fail(int code, String why) {
        error = code;
        reason = why;
        return this;
    }

    private static int seconds(String value) {
        try {
            int n = Integer.parseInt(value);
            return n >= 1 && n <= 3600 ? n : -1;
        } catch (NumberFormatException e) {
            return -1;
        }
    }

    private static int port(String value) {
        if (value == null) {
            return -1;
        }
        try {
            int n = Integer.parseInt(value);
            return n >= 1 && n <= 65535 ? n : -1;
        } catch (NumberFormatException e) {
            return -1;
        }
    }
}
