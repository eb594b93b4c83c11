package com.orlena.tessel.brevant;

import com.orlena.tessel.brevant.apps.Applications;
import com.orlena.tessel.brevant.http.ConnectionInfo;
import com.orlena.tessel.brevant.http.MalformedRequestException;
import com.orlena.tessel.brevant.http.Pages;
import com.orlena.tessel.brevant.http.Request;
import com.orlena.tessel.brevant.http.RequestBody;
import com.orlena.tessel.brevant.http.RequestHead;
import com.orlena.tessel.brevant.http.RequestTextParser;
import com.orlena.tessel.brevant.http.Response;
import com.orlena.tessel.brevant.inprocess.AccessRules;
import com.orlena.tessel.brevant.inprocess.ContainerLog;
import com.orlena.tessel.brevant.inprocess.NativeBodySource;
import com.orlena.tessel.brevant.inprocess.NativeResponseSink;
import com.orlena.tessel.brevant.inprocess.ServletAliases;
import com.orlena.tessel.brevant.webapps.WebApplications;
import java.io.IOException;
import java.io.PrintWriter;
import java.io.StringWriter;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Arrays;

/**
 * The engine as the in-process connector calls it: static methods whose names and JNI
 * descriptors the connector looks up, so neither may change. The connector calls Init once
 * before anything else and Shutdown once at the end; ProcessRequest, isServletAlias and
 * authIISRequest may run on many IIS threads at once, so the state they read is set by Init
 * and only read afterwards (volatile, as Init's thread is not theirs).
 *
 * Two optional files in the data directory steer the filter's questions: "aliases.txt"
 * (see ServletAliases) for isServletAlias and "access.txt" (see AccessRules) for
 * authIISRequest. The web applications of its optional "webapps" folder are served too
 * (see WebApplications), under their context paths.
 */
public final class Brevant {
    /** Init's failure codes; 0 is success. */
    private static final byte INIT_NO_SERVLETS_DIRECTORY = 1;
    private static final byte INIT_LIBRARY_NOT_LOADED = 2;
    private static final byte INIT_BAD_DATA_FILE = 3;
    private static final byte INIT_NO_WEB_APPLICATIONS = 4;

    private static volatile String initMsg = "";
    private static volatile String serverInfo = "";
    private static volatile ServletAliases aliases = new ServletAliases();
    private static volatile AccessRules access = new AccessRules();
    private static volatile Applications applications = Applications.inProcess();
    private static volatile WebApplications webApplications;

    private Brevant() {
    }

    /**
     * Starts the engine. The second argument carries nothing reliable (the connector passes
     * its name in a form that is not text) and the fourth is always 0; both are ignored.
     * Answers 0, or a failure code with the reason in getInitMsg.
     */
    public static byte Init(String serverType, int ignored, String mimeMap, int zero,
                            String dataDirectory, String servletsDirectory, String libraryPath) {
        // The cheap checks of the connector's settings come before the library load, so a
        // misconfigured home is reported as such rather than as a load failure.
        if (servletsDirectory == null || !Files.isDirectory(Paths.get(servletsDirectory))) {
            return fail(INIT_NO_SERVLETS_DIRECTORY, "The servlets directory <b>"
                        + html(String.valueOf(servletsDirectory)) + "</b> does not exist.");
        }
        Path data = dataDirectory == null || dataDirectory.isEmpty() ? null : Paths.get(dataDirectory);
        try {
            aliases = ServletAliases.load(data);
            access = AccessRules.load(data);
        } catch (IOException | RuntimeException e) {
            return fail(INIT_BAD_DATA_FILE, "A file in the data directory <b>"
                        + html(String.valueOf(dataDirectory)) + "</b> cannot be read: "
                        + html(String.valueOf(e.getMessage())));
        }
        if (libraryPath == null || libraryPath.isEmpty()) {
            return fail(INIT_LIBRARY_NOT_LOADED, "No connector library was named.");
        }
        try {
            // The natives of ISAPINativeLib resolve only in a library this class's loader
            // loaded, so the connector library must be loaded here, before any native call.
            System.load(libraryPath);
        } catch (UnsatisfiedLinkError | SecurityException e) {
            return fail(INIT_LIBRARY_NOT_LOADED, "The connector library <b>"
                        + html(String.valueOf(libraryPath)) + "</b> cannot be loaded: "
                        + html(String.valueOf(e.getMessage())));
        }
        Applications apps = Applications.inProcess();
        Path webapps = data == null ? null : data.resolve("webapps");
        if (webapps != null && Files.isDirectory(webapps)) {
            try {
                ContainerLog.writeTo(data);
            } catch (IOException | RuntimeException e) {
                debug(e);  // the log still goes to standard error
            }
            try {
                WebApplications web = WebApplications.start(webapps);
                apps.mount(web::serves, web, web.hasRoot());
                webApplications = web;
            } catch (IOException | RuntimeException | LinkageError e) {
                return fail(INIT_NO_WEB_APPLICATIONS, "The web applications of <b>" + html(webapps.toString())
                            + "</b> cannot be served: " + html(String.valueOf(e)));
            }
        }
        applications = apps;
        initMsg = "";
        return 0;
    }

    /** Why Init failed, as HTML for the connector's failure page. */
    public static String getInitMsg() {
        return initMsg;
    }

    public static void setServerInfo(String software) {
        serverInfo = software == null ? "" : software;
    }

    /**
     * Serves one request through the natives, answering the client before returning: the
     * handle is invalid afterwards. Always answers null, as the connector discards the
     * result.
     */
    public static byte[] ProcessRequest(String requestText, byte[] preloaded, String remoteAddr,
                                        String remoteHost, String serverName, int serverPort,
                                        int handle, String documentRoot, boolean secure,
                                        String extra, String remoteUser) {
        Response response = new Response(new NativeResponseSink(handle));
        try {
            RequestHead head = RequestTextParser.parse(requestText == null ? "" : requestText);
            long length = head.headers().contentLength();
            byte[] ahead = preloaded == null ? new byte[0] : preloaded;
            if (length >= 0 && ahead.length > length) {
                // The body stream never delivers more than Content-Length.
                ahead = Arrays.copyOf(ahead, (int) length);
            }
            RequestBody body = new RequestBody(ahead, new NativeBodySource(handle), length);
            ConnectionInfo connection = new ConnectionInfo(remoteAddr, remoteHost, serverName,
                                                           serverPort, serverInfo, secure);
            Request request = new Request(head, connection, remoteUser, body,
                                          () -> certificate(handle),
                                          virtual -> ISAPINativeLib.getRealPath(handle, virtual));
            applications.dispatch(request, response);
            response.finish();
        } catch (MalformedRequestException e) {
            try {
                Pages.text(response, 400, "Bad request: " + e.getMessage() + "\n");
                response.finish();
            } catch (IOException | RuntimeException again) {
                debug(again);
            }
        } catch (IOException | RuntimeException e) {
            // The client may have gone; all that is left is to tell the debugger.
            debug(e);
            if (!response.isCommitted()) {
                try {
                    Pages.text(response, 500, "Internal error\n");
                    response.finish();
                } catch (IOException | RuntimeException again) {
                    debug(again);
                }
            }
        }
        return null;
    }

    /** Whether the engine serves the URL (query string included); host is unused. */
    public static boolean isServletAlias(String url, String host) {
        if (url == null) {
            return false;
        }
        if (aliases.matches(url)) {
            return true;
        }
        int q = url.indexOf('?');
        return applications.mounts(q < 0 ? url : url.substring(0, q));
    }

    /** Whether the user may reach the URL while IIS security is on; the password is IIS's business. */
    public static boolean authIISRequest(String url, String host, String user, String password) {
        return access.allows(url, user);
    }

    /** Requests have ended when the connector calls this. */
    public static void Shutdown() {
        WebApplications web = webApplications;
        if (web != null) {
            web.stop();
        }
    }

    /** For tests: reads the data files as Init would, without loading any library. */
    static void loadDataFiles(Path dataDirectory) throws IOException {
        aliases = ServletAliases.load(dataDirectory);
        access = AccessRules.load(dataDirectory);
    }

    private static String certificate(int handle) {
        String descriptor = ISAPINativeLib.getClientCertificate(handle);
        return descriptor == null ? "&END&" : descriptor;
    }

    private static byte fail(byte code, String message) {
        initMsg = message;
        return code;
    }

    private static void debug(Throwable t) {
        StringWriter text = new StringWriter();
        t.printStackTrace(new PrintWriter(text));
        try {
            ISAPINativeLib.outputDebugString(text.toString().getBytes(StandardCharsets.UTF_8));
        } catch (UnsatisfiedLinkError e) {
            System.err.print(text);
        }
    }

    private static String html(String text) {
        return text.replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;");
    }
}
