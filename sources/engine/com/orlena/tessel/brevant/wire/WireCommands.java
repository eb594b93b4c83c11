package com.orlena.tessel.brevant.wire;

import java.io.IOException;
import java.io.OutputStream;

/**
 * The commands an instance sends to the adapter. Each starts with one command byte;
 * lengths and counts are 4 bytes, big-endian; command 3's flag is one byte.
 */
final class WireCommands {
    static final int RESPONSE_DATA = 0;
    static final int READ_BODY = 1;
    static final int CLIENT_CERTIFICATE = 2;
    /** Ends the exchange, the connection staying open; one flag byte: 1 when the client connection may be kept. */
    static final int END_EXCHANGE = 3;
    /** Largest command-0 frame we send; the adapter relays it in 4 KiB pieces anyway. */
    static final int MAX_FRAME = 64 * 1024;

    private WireCommands() {
    }

    static void writeCommand(OutputStream out, int command, int operand) throws IOException {
        out.write(new byte[] {(byte) command, (byte) (operand >>> 24), (byte) (operand >>> 16),
                              (byte) (operand >>> 8), (byte) operand});
    }
}
