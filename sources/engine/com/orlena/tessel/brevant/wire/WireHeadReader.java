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
 * body that follows is consumed. The adapter's exchange line ("X-BREVANT-EXCHANGE: 1;
 * preloaded=<count>") is taken out of the headers: it is the adapter's, not the client's.
 */
final class WireHeadReader {
    /** Longest line accepted; the adapter's own buffers are far smaller. */
    static final int MAX_LINE = 64 * 1024;
    /** Most header lines accepted, so a runaway peer cannot fill the heap. */
    static final int MAX_HEADERS = 1000;
    static final String EXCHANGE_LINE = "X-BREVANT-EXCHANGE";
    /** Most preloaded bytes believed; web servers read ahead kilobytes, a few megabytes at most. */
    static final int MAX_PRELOADED = 64 * 1024 * 1024;

    private final InputStream in;
    private int preloaded;

    /** REQUIRES: in is not buffered beyond what this reader takes, or is this connection's only reader. */
    WireHeadReader(InputStream in) {
        this.in = in;
    }

    RequestHead readHead() throws IOException, MalformedRequestException {
        preloaded = -1;
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
            String name = text.substring(0, colon);
            if (name.equalsIgnoreCase(EXCHANGE_LINE)) {
                preloaded = preloadedCount(value);
            } else {
                headers.add(name, value);
            }
        }
        return new RequestHead(line.method, line.url, line.protocol, headers);
    }

    /** The preloaded count of the last head's exchange line; -1 when it had none. */
    int preloaded() {
        return preloaded;
    }

    /** "1; preloaded=<count>": version 1, then parameters, of which preloaded is required. */
    private int preloadedCount(String value) throws MalformedRequestException {
        String[] parts = value.split(";");
        if (preloaded >= 0 || !parts[0].trim().equals("1")) {
            throw new MalformedRequestException("bad exchange line: " + value);
        }
        for (int i = 1; i < parts.length; i++) {
            String part = parts[i].trim();
            if (part.startsWith("preloaded=")) {
                String count = part.substring("preloaded=".length());
                if (count.matches("[0-9]{1,9}") && Integer.parseInt(count) <= MAX_PRELOADED) {
                    return Integer.parseInt(count);
                }
            }
        }
        throw new MalformedRequestException("bad exchange line: " + value);
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
