/** BenchTomcat's command line. A bad option leaves a reason in error. */
final class BenchTomcatOptions {
    static final String USAGE = "usage: BenchTomcat --base DIR --threads N [--http-port P]"
        + " [--ajp-port Q --ajp-secret S]  (at least one of --http-port, --ajp-port)";

    String base;
    int threads = -1;
    int httpPort = -1;
    int ajpPort = -1;
    String ajpSecret;
    String error;

    static BenchTomcatOptions parse(String[] args) {
        BenchTomcatOptions o = new BenchTomcatOptions();
        for (int i = 0; i < args.length && o.error == null; i += 2) {
            String name = args[i];
            if (i + 1 >= args.length) {
                o.error = "option " + name + " needs a value";
                break;
            }
            String value = args[i + 1];
            switch (name) {
                case "--base": o.base = value; break;
                case "--threads": o.threads = number(o, name, value, 1, 10000); break;
                case "--http-port": o.httpPort = number(o, name, value, 1, 65535); break;
                case "--ajp-port": o.ajpPort = number(o, name, value, 1, 65535); break;
                case "--ajp-secret": o.ajpSecret = value; break;
                default: o.error = "unknown option " + name;
            }
        }
        if (o.error == null) {
            o.error = missing(o);
        }
        return o;
    }

    private static String missing(BenchTomcatOptions o) {
        if (o.base == null || o.base.isEmpty()) {
            return "--base is required";
        }
        if (o.threads < 0) {
            return "--threads is required";
        }
        if (o.httpPort < 0 && o.ajpPort < 0) {
            return "--http-port or --ajp-port is required";
        }
        if (o.ajpPort >= 0 && (o.ajpSecret == null || o.ajpSecret.isEmpty())) {
            return "--ajp-port needs --ajp-secret";
        }
        if (o.ajpPort < 0 && o.ajpSecret != null) {
            return "--ajp-secret needs --ajp-port";
        }
        if (o.httpPort >= 0 && o.httpPort == o.ajpPort) {
            return "--http-port and --ajp-port must differ";
        }
        return null;
    }

    private static int number(BenchTomcatOptions o, String name, String value, int min, int max) {
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
