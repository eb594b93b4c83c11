package com.orlena.tessel.brevant.webapps;

import org.apache.catalina.Context;
import org.apache.catalina.Lifecycle;
import org.apache.catalina.LifecycleEvent;
import org.apache.catalina.core.StandardContext;
import org.apache.catalina.startup.Constants;
import org.apache.catalina.startup.ContextConfig;
import org.apache.catalina.startup.Tomcat;
import org.apache.tomcat.util.scan.StandardJarScanner;

/**
 * Configures each deployed application as a Tomcat installation's conf/web.xml would: the
 * default servlet, the JSP servlet and their mappings, welcome files and MIME types, set up
 * in code since we ship no conf/ folder. The application's own web.xml comes on top.
 * The class path is not searched for web fragments and tag libraries: it holds the
 * container and the connector, whose jars have none (or, in-process, are not all there).
 * The leak checks that a redeployment needs are off: applications are deployed once, and
 * the process or the connector ends with the container (on Java 17 they only warn).
 * Named by class to the Host, which makes one per application.
 */
public final class WebAppConfig extends ContextConfig {
    public WebAppConfig() {
        setDefaultWebXml(Constants.NoDefaultWebXml);
    }

    @Override
    public void lifecycleEvent(LifecycleEvent event) {
        if (Lifecycle.BEFORE_START_EVENT.equals(event.getType())) {
            Context context = (Context) event.getLifecycle();
            Tomcat.initWebappDefaults(context);
            StandardJarScanner scanner = new StandardJarScanner();
            scanner.setScanClassPath(false);
            context.setJarScanner(scanner);
            if (context instanceof StandardContext) {
                StandardContext standard = (StandardContext) context;
                standard.setClearReferencesObjectStreamClassCaches(false);
                standard.setClearReferencesThreadLocals(false);
                standard.setClearReferencesRmiTargets(false);
            }
        }
        super.lifecycleEvent(event);
    }
}
