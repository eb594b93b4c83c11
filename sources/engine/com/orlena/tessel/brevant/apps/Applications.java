package com.orlena.tessel.brevant.apps;

import com.orlena.tessel.brevant.http.Pages;
import com.orlena.tessel.brevant.http.Request;
import com.orlena.tessel.brevant.http.Response;
import java.io.IOException;
import java.util.Map;
import java.util.TreeMap;
import java.util.function.Predicate;

/**
 * The applications under "/servlet/", by name, and the routing of a request to one.
 * Filled before serving starts, then only read, from any thread.
 */
public final class Applications {
    public static final String PREFIX = "/servlet/";

    private final Map<String, Application> byName = new TreeMap<>();
    private Predicate<String> mountedPaths = path -> false;
    private Application mounted;
    private boolean mountedTakesRest;

    /** The applications that come with the engine. */
    public static Applications builtIn() {
        Applications apps = new Applications();
        apps.register("Hello", new HelloApplication());
        apps.register("Snoop", new SnoopApplication());
        apps.register("Upload", new UploadApplication());
        apps.register("Stream", new StreamApplication());
        apps.register("Status", new StatusApplication());
        apps.register("Cert", new CertApplication());
        return apps;
    }

    /** The built-in applications and those only the in-process connector can serve. */
    public static Applications inProcess() {
        Applications apps = builtIn();
        apps.register("Security", new SecurityApplication());
        return apps;
    }

    void register(String name, Application app) {
        byName.put(name, app);
    }

    /**
     * Gives the paths that `paths` accepts to `app`, ahead of everything else; with
     * `takesRest`, also every path outside "/servlet/" that reaches us and no one else takes.
     */
    public void mount(Predicate<String> paths, Application app, boolean takesRest) {
        mountedPaths = paths;
        mounted = app;
        mountedTakesRest = takesRest;
    }

    /** Whether a mounted application takes the path. */
    public boolean mounts(String path) {
        return mountedPaths.test(path);
    }

    /** The application for the request's path, or null. "/servlet/Name/more" goes to Name. */
    Application find(String path) {
        if (!path.startsWith(PREFIX)) {
            return null;
        }
        String rest = path.substring(PREFIX.length());
        int slash = rest.indexOf('/');
        return byName.get(slash < 0 ? rest : rest.substring(0, slash));
    }

    /** Serves the request, answering 404 when no application takes it. */
    public void dispatch(Request request, Response response) throws IOException {
        String path = request.path();
        if (mounts(path) || (mountedTakesRest && !path.startsWith(PREFIX))) {
            mounted.serve(request, response);
            return;
        }
        Application app = find(path);
        if (app == null) {
            Pages.text(response, 404, "No servlet at " + request.path() + "\n");
            return;
        }
        app.serve(request, response);
    }
}
