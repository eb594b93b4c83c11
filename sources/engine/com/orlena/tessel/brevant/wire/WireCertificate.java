package com.orlena.tessel.brevant.wire;

import java.io.ByteArrayOutputStream;
import java.io.IOException;
import java.io.InputStream;
import java.io.OutputStream;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.util.function.Supplier;

/**
 * Fetches the client-certificate descriptor with command 2. The answer has no length and
 * no terminator of its own; it always ends with "&END&", which marks its end here.
 * Asked once per request, the answer kept.
 */
final class WireCertificate implements Supplier<String> {
    private static final byte[] END = "&END&".getBytes(StandardCharsets.ISO_8859_1);
    /** The adapter builds the descriptor in a 4096-byte buffer. */
    private static final int MAX_DESCRIPTOR = 4096;

    private final InputStream in;
    private final OutputStream out;
    private String descriptor;

    WireCertificate(InputStream in, OutputStream out) {
        this.in = in;
        this.out = out;
    }

    @Override
    public String get() {
        if (descriptor == null) {
            try {
                descriptor = fetch();
            } catch (IOException e) {
                throw new UncheckedIOException(e);
            }
        }
        return descriptor;
    }

    private String fetch() throws IOException {
        out.write(WireCommands.CLIENT_CERTIFICATE);
        out.flush();
        ByteArrayOutputStream text = new ByteArrayOutputStream(256);
        while (!endsWithEnd(text.toByteArray())) {
            int b = in.read();
            if (b < 0 || text.size() >= MAX_DESCRIPTOR) {
                throw new IOException("client certificate descriptor not ended by &END&");
            }
            text.write(b);
        }
        return new String(text.toByteArray(), StandardCharsets.ISO_8859_1);
    }

    private static boolean endsWithEnd(byte[] bytes) {
        if (bytes.length < END.length) {
            return false;
        }
        for (int i = 0; i < END.length; i++) {
            if (bytes[bytes.length - END.length + i] != END[i]) {
                return false;
            }
        }
        return true;
    }
}
