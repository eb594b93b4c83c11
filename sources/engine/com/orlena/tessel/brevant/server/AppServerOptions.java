package com.orlena.tessel.brevant.server;

/** The instance's command line. A bad option leaves a reason in error. */
final class AppServerOptions {
    static final String USAGE = "usage: AppServer --port N [--read-timeout SECONDS] [--threads N]"
        + " [--webapps DIR] [--admin-port N --admin-user U --admin-password P]";

    int port = -1;
    int readTimeoutSeconds = 120;
    int threads = 64;
    int adminPort = -1;
    String adminUser;
    String adminPassword;
    String webapps;
    String error;

    static AppServerOptions parse(String[] args) {
        AppServerOptions o = new AppServerOptions();
        for (int i = 0; i < args.length && o.error == null; i += 2) {
            String name = args[i];
            if (i + 1 >= args.length) {
                o.error = "option " + name + " needs a value";
                break;
            }
            String value = args[i + 1];
            switch (name) {
                case "--port": o.port = number(o, name, value, 0, 65535); break;
                case "--read-timeout": o.readTimeoutSeconds = number(o, name, value, 1, 86400); break;
                case "--threads": o.threads = number(o, name, value, 1, 10000); break;
                case "--admin-port": o.adminPort = number(o, name, value, 1, 65535); break;
                case "--admin-user": o.adminUser = value; break;
                case "--admin-password": o.adminPassword = value; break;
                case "--webapps": o.webapps = value; break;
                default: o.error = "unknown option " + name;
            }
        }
        if (o.error == null && o.port < 0) {
            o.error = "--port is required";
        }
        return o;
    }

    private static int number(AppServerOptions o, String name, String value, int min, int max) {
        try {
            int n = Integer.parseInt(value);
            if (n >= min && n <= max) {
                return n;
            }
        } catch (NumberFormatException e) {
            // reported below
        }
        o.error = "option " + name + " needs a number from " + min + " to " + max + ", not " + value;
        return -1;
    }
}
