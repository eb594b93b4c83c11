package com.orlena.tessel.brevant.webapps;

import com.orlena.tessel.brevant.apps.Application;
import com.orlena.tessel.brevant.http.Request;
import com.orlena.tessel.brevant.http.Response;
import java.io.IOException;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.ConcurrentLinkedQueue;
import org.apache.catalina.Container;
import org.apache.catalina.Context;
import org.apache.catalina.LifecycleException;
import org.apache.catalina.connector.Connector;
import org.apache.catalina.core.StandardEngine;
import org.apache.catalina.core.StandardHost;
import org.apache.catalina.core.StandardServer;
import org.apache.catalina.core.StandardService;
import org.apache.catalina.startup.HostConfig;

/**
 * The web applications of a webapps/ folder, run by an embedded Tomcat: every WAR or
 * folder there is deployed at start under its name, ROOT at "/". The container has one
 * Connector, whose protocol opens no socket; our connectors' requests reach it through a
 * pooled CoyoteBridge. The container's work/ folder goes beside webapps/.
 * Started once, then read from any thread.
 */
public final class WebApplications implements Application {
    private static final String HOST = "localhost";

    private final StandardServer server = new StandardServer();
    private final LocalProtocol protocol = new LocalProtocol();
    private final Connector connector = new Connector(protocol);
    private final List<String> contextPaths = new ArrayList<>();
    private boolean root;
    /**
     * Bridges not serving a request, so that the container's request objects are recycled
     * rather than rebuilt: a pool, not one per thread, since the in-process connector's
     * threads are attached to the VM afresh for every request. Grows to the most requests
     * served at once.
     */
    private final ConcurrentLinkedQueue<CoyoteBridge> idleBridges = new ConcurrentLinkedQueue<>();

    private WebApplications() {
    }

    /**
     * Deploys the applications of the folder; one that fails is left out, with Tomcat's
     * reason in the log. Throws when the container itself cannot start.
     */
    public static WebApplications start(Path webapps) throws IOException {
        WebApplications apps = new WebApplications();
        apps.build(webapps.toAbsolutePath().normalize());
        try {
            apps.server.start();
        } catch (LifecycleException e) {
            throw new IOException("the container cannot start: " + e.getMessage(), e);
        }
        if (!apps.connector.getState().isAvailable()) {
            // The service logs a failed connector and starts anyway; without it nothing is served.
            throw new IOException("the container's connector did not start");
        }
        for (Container child : apps.server.findServices()[0].getContainer().findChild(HOST).findChildren()) {
            Context context = (Context) child;
            if (!context.getState().isAvailable()) {
                continue;
            }
            if (context.getPath().isEmpty()) {
                apps.root = true;
            } else {
                apps.contextPaths.add(context.getPath());
            }
        }
        return apps;
    }

    private void build(Path webapps) {
        server.setPort(-1);  // no shutdown port: the instance and the connector stop us
        server.setCatalinaBase(webapps.getParent().toFile());
        server.setCatalinaHome(webapps.getParent().toFile());
        StandardService service = new StandardService();
        service.setName("Brevant");
        server.addService(service);
        StandardEngine engine = new StandardEngine();
        engine.setName("Brevant");
        engine.setDefaultHost(HOST);
        engine.getPipeline().addValve(new SynchronousOnlyValve());
        service.setContainer(engine);
        StandardHost host = new StandardHost();
        host.setName(HOST);
        host.setAppBase(webapps.toString());
        host.setAutoDeploy(false);
        host.setCreateDirs(false);
        host.setConfigClass(WebAppConfig.class.getName());
        host.addLifecycleListener(new HostConfig());
        engine.addChild(host);
        service.addConnector(connector);
    }

    /** Whether the ROOT application is deployed, to take the paths no other one serves. */
    public boolean hasRoot() {
        return root;
    }

    /** Whether the path (without query string) lies under a deployed application other than ROOT. */
    public boolean serves(String path) {
        for (String context : contextPaths) {
            if (isUnder(path, context)) {
                return true;
            }
        }
        return false;
    }

    /** The context path, then the end, "/" or ";": /shop/cart is under /shop, /shopping is not. */
    static boolean isUnder(String path, String contextPath) {
        return path.startsWith(contextPath)
            && (path.length() == contextPath.length() || "/;".indexOf(path.charAt(contextPath.length())) >= 0);
    }

    @Override
    public void serve(Request request, Response response) throws IOException {
        CoyoteBridge bridge = idleBridges.poll();
        if (bridge == null) {
            bridge = new CoyoteBridge(protocol.getAdapter());
        }
        try {
            bridge.serve(request, response);
        } finally {
            idleBridges.offer(bridge);  // recycled by serve, whatever happened
        }
    }

    public void stop() {
        try {
            server.stop();
            server.destroy();
        } catch (LifecycleException e) {
            // Stopping anyway: the process or the connector ends next.
        }
    }
}
