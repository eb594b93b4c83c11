package com.orlena.tessel.brevant.webapps;

import com.orlena.tessel.brevant.http.Headers;
import com.orlena.tessel.brevant.http.Pages;
import com.orlena.tessel.brevant.http.Request;
import com.orlena.tessel.brevant.http.Response;
import jakarta.servlet.ServletConnection;
import java.io.IOException;
import java.nio.ByteBuffer;
import java.nio.charset.StandardCharsets;
import java.util.Locale;
import java.util.Map;
import org.apache.coyote.AbstractProcessor;
import org.apache.coyote.ActionCode;
import org.apache.coyote.Adapter;
import org.apache.coyote.ContinueResponseTiming;
import org.apache.coyote.InputBuffer;
import org.apache.coyote.OutputBuffer;
import org.apache.juli.logging.Log;
import org.apache.juli.logging.LogFactory;
import org.apache.tomcat.util.buf.ByteChunk;
import org.apache.tomcat.util.http.MimeHeaders;
import org.apache.tomcat.util.net.AbstractEndpoint.Handler.SocketState;
import org.apache.tomcat.util.net.ApplicationBufferHandler;
import org.apache.tomcat.util.net.ServletConnectionImpl;
import org.apache.tomcat.util.net.SocketWrapperBase;

/**
 * Our requests through the container, on the calling thread: fills a Coyote request from
 * our Request, calls the Connector's Adapter, and hands what the container answers to our
 * Response, which writes the status line and headers. Being a processor is what makes the
 * container's commit, flush and close reach us (Coyote only calls its own processors'
 * hooks). Serves one request at a time, any number one after the other: the container's
 * request objects are recycled for the next.
 */
final class CoyoteBridge extends AbstractProcessor {
    private static final Log LOG = LogFactory.getLog(CoyoteBridge.class);
    private static final String UNKNOWN_ADDRESS = "0.0.0.0";

    private Request ours;
    private Response answer;
    /** The first failure of our transport; the container only notes it as a client abort. */
    private IOException failure;
    private final Body body = new Body();

    CoyoteBridge(Adapter adapter) {
        super(adapter);
        // Kept across requests: the container's recycling leaves them in place.
        request.setInputBuffer(new RequestBytes());
        response.setOutputBuffer(body);
    }

    /**
     * Serves the request. Throws IOException when our transport failed, so the caller ends
     * the connection, and IllegalStateException when the application failed after the
     * container had begun its answer: what the answer holds must not pass for a whole one.
     */
    void serve(Request request, Response response) throws IOException {
        ours = request;
        answer = response;
        failure = null;
        try {
            if (asksForWebSocket()) {
                Pages.text(answer, 501, "WebSocket is not supported by this connector\n");
                return;
            }
            fillRequest();
            serveFilled();
        } finally {
            this.request.recycle();
            this.response.recycle();
            recycle();
            ours = null;
            answer = null;
            body.written = 0;
        }
    }

    /** A WebSocket needs the connection handed over, which neither connector can do. */
    private boolean asksForWebSocket() {
        String upgrade = ours.header("Upgrade");
        return upgrade != null && Headers.hasToken(upgrade, "websocket");
    }

    private void serveFilled() throws IOException {
        try {
            getAdapter().service(request, response);
        } catch (IOException e) {
            throw e;
        } catch (Exception e) {
            throw new IllegalStateException("the container failed: " + e, e);
        }
        if (failure != null) {
            throw failure;
        }
        if (!getErrorState().isIoAllowed()) {
            throw new IllegalStateException("the application failed after its answer had begun",
                                            (Throwable) request.getAttribute("jakarta.servlet.error.exception"));
        }
    }

    private void fillRequest() {
        request.setMethod(ours.method());
        // Bytes, not a string: the container decodes and normalises the URI itself only then.
        byte[] uri = ours.path().getBytes(StandardCharsets.ISO_8859_1);
        request.requestURI().setBytes(uri, 0, uri.length);
        if (ours.queryString() != null) {
            request.queryString().setString(ours.queryString());
        }
        request.protocol().setString(ours.protocol());
        request.scheme().setString(ours.isSecure() ? "https" : "http");
        request.serverName().setString(ours.serverName());
        request.setServerPort(ours.serverPort());
        // An address the connector could not read must not pass for loopback, as an empty one
        // does to the container's address checks (RemoteCIDRValve, RemoteAddrValve).
        String remoteAddr = ours.remoteAddr();
        request.remoteAddr().setString(remoteAddr == null || remoteAddr.isEmpty() ? UNKNOWN_ADDRESS : remoteAddr);
        request.remoteHost().setString(ours.remoteHost());
        if (ours.remoteUser() != null && !ours.remoteUser().isEmpty()) {
            request.getRemoteUser().setString(ours.remoteUser());
        }
        MimeHeaders headers = request.getMimeHeaders();
        for (String name : ours.headers().names()) {
            String spelled = usualSpelling(name);
            for (String value : ours.headers().getAll(name)) {
                headers.addValue(spelled).setString(value);
            }
        }
        if (ours.isSecure()) {
            // Only a secure connection carries a client certificate; asking costs a round trip
            // on the wire, so plain requests do not ask.
            for (Map.Entry<String, String> a : CertificateAttributes.of(ours.clientCertificate()).entrySet()) {
                request.setAttribute(a.getKey(), a.getValue());
            }
        }
    }

    /**
     * The connectors pass header names upper-cased ("ACCEPT-LANGUAGE"); applications that list
     * them get the usual spelling ("Accept-Language"). A name in mixed case is left as it came.
     */
    static String usualSpelling(String name) {
        if (!name.equals(name.toUpperCase(Locale.ROOT))) {
            return name;
        }
        char[] chars = name.toLowerCase(Locale.ROOT).toCharArray();
        for (int i = 0; i < chars.length; i++) {
            if (i == 0 || chars[i - 1] == '-') {
                chars[i] = Character.toUpperCase(chars[i]);
            }
        }
        return new String(chars);
    }

    /** The head as the container holds it at commit, handed to our Response. */
    @Override
    protected void prepareResponse() throws IOException {
        response.setCommitted(true);  // the container's mark: its status and headers are fixed now
        answer.setStatus(response.getStatus());
        MimeHeaders headers = response.getMimeHeaders();
        for (int i = 0; i < headers.size(); i++) {
            answer.addHeader(headers.getName(i).toString(), headers.getValue(i).toString());
        }
        // Kept apart from the other headers by the container, as it may still change them.
        if (response.getContentType() != null) {
            answer.setContentType(response.getContentType());
        }
        if (response.getContentLanguage() != null) {
            answer.addHeader("Content-Language", response.getContentLanguage());
        }
        if (response.getContentLengthLong() >= 0) {
            answer.setContentLength(response.getContentLengthLong());
        }
    }

    /**
     * The application's flush. The container also flushes before it gives up on an answer
     * that failed half-way; that one is not passed on, so that a failure before anything left
     * can still become a whole 500 answer.
     */
    @Override
    protected void flush() throws IOException {
        if (response.isError() && !response.isErrorReportRequired()) {
            return;  // the error is reported: the container is giving up on the answer
        }
        try {
            answer.flush();
        } catch (IOException e) {
            noteFailure(e);
            throw e;
        }
    }

    private void noteFailure(IOException e) {
        if (failure == null) {
            failure = e;
        }
    }

    private final class Body implements OutputBuffer {
        private long written;

        @Override
        public int doWrite(ByteBuffer chunk) throws IOException {
            if (!response.isCommitted()) {
                // The container leaves the commit to its protocol's first write: this sets the
                // head our Response is to send before any body byte.
                response.action(ActionCode.COMMIT, null);
            }
            int len = chunk.remaining();
            try {
                if ("HEAD".equals(ours.method())) {
                    chunk.position(chunk.limit());
                } else if (chunk.hasArray()) {
                    answer.body().write(chunk.array(), chunk.arrayOffset() + chunk.position(), len);
                    chunk.position(chunk.limit());
                } else {
                    byte[] bytes = new byte[len];
                    chunk.get(bytes);
                    answer.body().write(bytes, 0, len);
                }
            } catch (IOException e) {
                noteFailure(e);
                throw e;
            }
            written += len;
            return len;
        }

        @Override
        public long getBytesWritten() { return written; }
    }

    /** Our body stream, which never gives more than Content-Length, as the container's input. */
    private final class RequestBytes implements InputBuffer {
        private final byte[] buf = new byte[8192];

        @Override
        public int doRead(ApplicationBufferHandler handler) throws IOException {
            int n;
            try {
                n = ours.body().read(buf, 0, buf.length);
            } catch (IOException e) {
                noteFailure(e);
                throw e;
            }
            if (n <= 0) {
                return -1;
            }
            handler.setByteBuffer(ByteBuffer.wrap(buf, 0, n));
            return n;
        }

        @Override
        public int available() { return 0; }
    }

    // What follows concerns sockets, upgrades and non-blocking I/O, none of which our
    // connectors have: the request is read and answered within serve().

    @Override protected Log getLog() { return LOG; }
    @Override protected boolean getPopulateRequestAttributesFromSocket() { return false; }
    @Override protected SocketState service(SocketWrapperBase<?> socketWrapper) { return SocketState.CLOSED; }
    @Override protected SocketState dispatchEndRequest() { return SocketState.CLOSED; }
    @Override protected void finishResponse() { }
    @Override protected void ack(ContinueResponseTiming continueResponseTiming) { }
    @Override protected void earlyHints() { }
    @Override protected int available(boolean doRead) { return 0; }
    @Override protected void setRequestBody(ByteChunk body) { }
    @Override protected void setSwallowResponse() { }
    @Override protected void disableSwallowRequest() { }
    @Override protected boolean isRequestBodyFullyRead() { return false; }
    @Override protected void registerReadInterest() { }
    @Override protected boolean isReadyForWrite() { return true; }
    @Override protected boolean isTrailerFieldsReady() { return true; }
    @Override protected boolean flushBufferedWrite() { return false; }
    @Override public void pause() { }

    @Override
    protected ServletConnection getServletConnection() {
        return new ServletConnectionImpl("", ours.protocol(), "", ours.isSecure());
    }
}
