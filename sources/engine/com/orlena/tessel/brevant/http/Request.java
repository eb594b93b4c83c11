package com.orlena.tessel.brevant.http;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.util.Locale;
import java.util.function.Supplier;
import java.util.function.UnaryOperator;

/**
 * One request as an application sees it, whichever transport brought it. Used by the
 * one thread serving the request; the certificate and the form body are fetched from
 * the transport only when first asked for.
 */
public final class Request {
    private final RequestHead head;
    private final ConnectionInfo connection;
    private final String remoteUser;
    private final RequestBody body;
    private final Supplier<String> certificate;
    private final UnaryOperator<String> realPaths;
    private Parameters parameters;

    /** A request whose transport cannot map virtual paths (the wire format has no way). */
    public Request(RequestHead head, ConnectionInfo connection, String remoteUser, RequestBody body,
                   Supplier<String> certificate) {
        this(head, connection, remoteUser, body, certificate, virtualPath -> null);
    }

    public Request(RequestHead head, ConnectionInfo connection, String remoteUser, RequestBody body,
                   Supplier<String> certificate, UnaryOperator<String> realPaths) {
        this.head = head;
        this.connection = connection;
        this.remoteUser = remoteUser;
        this.body = body;
        this.certificate = certificate;
        this.realPaths = realPaths;
    }

    /** The physical path of a virtual path, as the web server maps it; null when it cannot. */
    public String realPath(String virtualPath) { return realPaths.apply(virtualPath); }

    public String method() { return head.method(); }
    public String requestedUrl() { return head.requestedUrl(); }
    public String path() { return head.path(); }
    public String queryString() { return head.queryString(); }
    public String protocol() { return head.protocol(); }
    public Headers headers() { return head.headers(); }
    public String header(String name) { return head.headers().get(name); }
    public String remoteAddr() { return connection.remoteAddr(); }
    public String remoteHost() { return connection.remoteHost(); }
    public String serverName() { return connection.serverName(); }
    public int serverPort() { return connection.serverPort(); }
    public String serverSoftware() { return connection.serverSoftware(); }
    public boolean isSecure() { return connection.secure(); }
    /** The authenticated user, or null. */
    public String remoteUser() { return remoteUser; }
    public long contentLength() { return head.headers().contentLength(); }
    public InputStream body() { return body; }

    /** The client-certificate descriptor, "&END&" alone when the client sent none. */
    public String clientCertificate() { return certificate.get(); }

    /**
     * Query parameters, followed by the form parameters of an urlencoded POST. Reading
     * the form consumes the body, so an application uses either this or body().
     */
    public Parameters parameters() throws IOException {
        if (parameters == null) {
            Parameters p = new Parameters();
            p.addEncoded(queryString());
            if (isUrlencodedForm()) {
                p.addEncoded(new String(readAll(body), StandardCharsets.UTF_8));
            }
            parameters = p;
        }
        return parameters;
    }

    public String parameter(String name) throws IOException {
        return parameters().get(name);
    }

    private boolean isUrlencodedForm() {
        String type = header("Content-Type");
        return "POST".equals(method()) && type != null
            && type.toLowerCase(Locale.ROOT).startsWith("application/x-www-form-urlencoded");
    }

    private static byte[] readAll(InputStream in) throws IOException {
        ByteArrayOutputStream out = new ByteArrayOutputStream();
        byte[] buf = new byte[8192];
        for (int n; (n = in.read(buf, 0, buf.length)) > 0; ) {
            out.write(buf, 0, n);
        }
        return out.toByteArray();
    }
}
