package com.orlena.tessel.brevant.wire;

import com.orlena.tessel.brevant.http.ConnectionInfo;
import com.orlena.tessel.brevant.http.Headers;
import com.orlena.tessel.brevant.http.MalformedRequestException;
import com.orlena.tessel.brevant.http.RequestHead;
import com.orlena.tessel.brevant.http.RequestLine;
import java.io.ByteArrayOutputStream;
import java.io.EOFException;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;

/**
 * Reads what the adapter sends first on a connection: the request head (request line
 * with the requested URL, "NAME: value" lines, an empty line) and the seven-line
 * additional-information block. Reads byte by byte so that nothing of the preloaded
 * body that follows is consumed.
 */
final class WireHeadReader {
    /** Longest line accepted; the adapter's own buffers are far smaller. */
    static final int MAX_LINE = 64 * 1024;
    /** Most header lines accepted, so a runaway peer cannot fill the heap. */
    static final int MAX_HEADERS = 1000;

    private final InputStream in;

    /** REQUIRES: in is not buffered beyond what this reader takes, or is this connection's only reader. */
    WireHeadReader(InputStream in) {
        this.in = in;
    }

    RequestHead readHead() throws IOException, MalformedRequestException {
        RequestLine line = RequestLine.parse(readLine());
        Headers headers = new Headers();
        for (int count = 0;; count++) {
            String text = readLine();
            if (text.isEmpty()) {
                break;
            }
            if (count >= MAX_HEADERS) {
                throw new MalformedRequestException("too many header lines");
            }
            int colon = text.indexOf(':');
            if (colon <= 0) {
                throw new MalformedRequestException("bad header line: " + text);
            }
            String value = text.substring(colon + 1);
            // The adapter writes ": " between name and value; the value itself is unchanged.
            if (value.startsWith(" ")) {
                value = value.substring(1);
            }
            headers.add(text.substring(0, colon), value);
        }
        return new RequestHead(line.method, line.url, line.protocol, headers);
    }

    /** The additional-information block: six values and the empty seventh line. */
    ConnectionInfo readAdditionalInfo() throws IOException, MalformedRequestException {
        String remoteAddr = readLine();
        String remoteHost = readLine();
        String serverName = readLine();
        String port = readLine();
        String software = readLine();
        String secure = readLine();
        if (!readLine().isEmpty()) {
            throw new MalformedRequestException("additional information not ended by an empty line");
        }
        int serverPort;
        try {
            serverPort = Integer.parseInt(port.trim());
        } catch (NumberFormatException e) {
            throw new MalformedRequestException("bad server port: " + port);
        }
        return new ConnectionInfo(remoteAddr, remoteHost, serverName, serverPort, software,
                                  "true".equals(secure));
    }

    /** One line ended by CR LF (a bare LF is taken too), without its end. */
    private String readLine() throws IOException, MalformedRequestException {
        ByteArrayOutputStream line = new ByteArrayOutputStream(128);
        for (;;) {
            int b = in.read();
            if (b < 0) {
                throw new EOFException("connection closed inside the request head");
            }
            if (b == '\n') {
                break;
            }
            if (line.size() >= MAX_LINE) {
                throw new MalformedRequestException("line longer than " + MAX_LINE + " bytes");
            }
            line.write(b);
        }
        byte[] bytes = line.toByteArray();
        int len = bytes.length > 0 && bytes[bytes.length - 1] == '\r' ? bytes.length - 1 : bytes.length;
        return new String(bytes, 0, len, StandardCharsets.ISO_8859_1);
    }
}
