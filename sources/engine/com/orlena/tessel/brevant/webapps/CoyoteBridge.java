package com.orlena.tessel.brevant.webapps;

import com.orlena.tessel.brevant.http.Request;
import com.orlena.tessel.brevant.http.Response;
import jakarta.servlet.ServletConnection;
import java.io.IOException;
import java.io.InputStream;
import java.nio.ByteBuffer;
import java.nio.charset.StandardCharsets;
import org.apache.coyote.AbstractProcessor;
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
 * One request of ours through the container, on the calling thread: fills a Coyote request
 * from our Request, calls the Connector's Adapter, and hands what the container answers to
 * our Response, which writes the status line and headers. Being a processor is what makes
 * the container's commit and close reach us (Coyote only calls its own processors' hooks).
 * Made for one request and used by its thread only.
 */
final class CoyoteBridge extends AbstractProcessor {
    private static final Log LOG = LogFactory.getLog(CoyoteBridge.class);

    private final Request ours;
    private final Response answer;
    /** The first failure of our transport; the container only notes it as a client abort. */
    private IOException failure;

    CoyoteBridge(Adapter adapter, Request ours, Response answer) {
        super(adapter);
        this.ours = ours;
        this.answer = answer;
    }

    /** Serves the request; throws when our transport failed, so the caller ends the connection. */
    void serve() throws IOException {
        fillRequest();
        response.setOutputBuffer(new Body());
        try {
            adapter.service(request, response);
        } catch (IOException e) {
            throw e;
        } catch (Exception e) {
            throw new IllegalStateException("the container failed: " + e, e);
        }
        if (failure != null) {
            throw failure;
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
        request.remoteAddr().setString(ours.remoteAddr());
        request.remoteHost().setString(ours.remoteHost());
        MimeHeaders headers = request.getMimeHeaders();
        for (String name : ours.headers().names()) {
            for (String value : ours.headers().getAll(name)) {
                headers.addValue(name).setString(value);
            }
        }
        request.setInputBuffer(new RequestBytes(ours.body()));
    }

    /** The head as the container holds it at commit, handed to our Response. */
    @Override
    protected void prepareResponse() throws IOException {
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

    private final class Body implements OutputBuffer {
        private long written;

        @Override
        public int doWrite(ByteBuffer chunk) throws IOException {
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
                if (failure == null) {
                    failure = e;
                }
                throw e;
            }
            written += len;
            return len;
        }

        @Override
        public long getBytesWritten() { return written; }
    }

    /** Our body stream, which never gives more than Content-Length, as the container's input. */
    private static final class RequestBytes implements InputBuffer {
        private final InputStream body;
        private final byte[] buf = new byte[8192];

        RequestBytes(InputStream body) {
            this.body = body;
        }

        @Override
        public int doRead(ApplicationBufferHandler handler) throws IOException {
            int n = body.read(buf, 0, buf.length);
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
    @Override protected void flush() { }
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
