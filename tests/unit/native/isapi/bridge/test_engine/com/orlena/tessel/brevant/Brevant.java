package com.orlena.tessel.brevant;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardOpenOption;

/**
 * The connector tests' engine: it records every call in "calls.txt" of the data directory,
 * answers Init with the code in "init-code" (0 without), and serves each request by the action
 * its query string names, driving the natives the way a test needs.
 */
public final class Brevant {
    private static final byte[] OK_HEAD = bytes("Content-Type: text/plain\r\n\r\n");
    private static Path data;
    private static int lastHandle;

    public static byte Init(String serverType, int unused, String mimeMap, int zero,
                            String dataDirectory, String servletsDirectory, String library)
            throws IOException {
        data = Paths.get(dataDirectory);
        record("init " + serverType + "|" + unused + "|" + zero + "|" + servletsDirectory);
        System.load(library);
        Path code = data.resolve("init-code");
        return Files.exists(code) ? Byte.parseByte(Files.readString(code).trim()) : 0;
    }

    public static String getInitMsg() {
        return "engine says <b>no</b>";
    }

    public static void setServerInfo(String software) {
        record("server-info " + software);
    }

    public static byte[] ProcessRequest(String text, byte[] preloaded, String addr, String host,
                                        String name, int port, int handle, String root,
                                        boolean secure, String extra, String user) {
        String firstLine = text.substring(0, text.indexOf('\n'));
        String action = firstLine.replaceAll("^\\S+ [^?]*\\??(\\S*) .*$", "$1");
        String answer;
        switch (action) {
            case "status":
                byte[] head = bytes("HTTP/1.0 404 Not Found\r\n\r\n");
                answer = "" + ISAPINativeLib.writeClient(handle, head, head.length, true);
                break;
            case "short-status":
                answer = "" + ISAPINativeLib.writeClient(handle, bytes("HTTP/1.0"), 8, true);
                break;
            case "read":
                byte[] body = ISAPINativeLib.readClient(handle, 6);
                byte[] none = ISAPINativeLib.readClient(handle, 0);
                answer = (body == null ? "null" : new String(body, StandardCharsets.ISO_8859_1))
                         + "|" + none.length;
                break;
            case "paths":
                answer = ISAPINativeLib.getRealPath(handle, "/img/a.gif") + "|"
                         + ISAPINativeLib.getRealPath(handle, "/" + "x".repeat(1023)) + "|"
                         + ISAPINativeLib.getClientCertificate(handle) + "|"
                         + ISAPINativeLib.bytesAvailable(handle) + "|"
                         + ISAPINativeLib.writeClient(handle, null, 0, false);
                break;
            case "no-status":
                answer = "" + ISAPINativeLib.writeHeaders(handle, new byte[0], OK_HEAD);
                break;
            case "security":
                ISAPINativeLib.disableIISSecurity();
                ISAPINativeLib.disableIISSecurity();
                ISAPINativeLib.enableIISSecurity();
                ISAPINativeLib.enableIISSecurity();
                answer = "on";
                break;
            case "stale":
                byte[] data = bytes("late");
                answer = ISAPINativeLib.writeClient(lastHandle, data, 4, false) + "|"
                         + ISAPINativeLib.writeHeaders(lastHandle, data, data) + "|"
                         + ISAPINativeLib.readClient(lastHandle, 1) + "|"
                         + ISAPINativeLib.getRealPath(lastHandle, "/") + "|"
                         + ISAPINativeLib.getClientCertificate(lastHandle);
                break;
            case "overflow":
                try {
                    answer = "depth " + recurse(0);
                } catch (StackOverflowError e) {
                    answer = "stack overflow caught";
                }
                break;
            case "throw":
                throw new IllegalStateException("engine failure");
            default:
                answer = "text=" + text + "|preloaded="
                         + (preloaded == null ? "null"
                                              : new String(preloaded, StandardCharsets.ISO_8859_1))
                         + "|addr=" + addr + "|host=" + host + "|name=" + name + "|port=" + port
                         + "|root=" + root + "|secure=" + secure + "|extra=" + extra + "|user="
                         + user;
        }
        lastHandle = handle;
        ISAPINativeLib.writeHeaders(handle, bytes("200 OK"), OK_HEAD);
        byte[] out = bytes(answer);
        ISAPINativeLib.writeClient(handle, out, out.length, false);
        return null;
    }

    public static boolean isServletAlias(String url, String host) {
        record("alias " + url + "|" + host);
        return url.startsWith("/alias/") || url.endsWith(".jsp");
    }

    public static boolean authIISRequest(String url, String host, String user, String password) {
        record("auth " + url.length() + "|" + host + "|" + user + "|" + password);
        return !"mallory".equals(user);
    }

    public static void Shutdown() {
        record("shutdown");
    }

    private static int recurse(int depth) {
        return recurse(depth + 1) + 1;
    }

    private static byte[] bytes(String text) {
        return text.getBytes(StandardCharsets.ISO_8859_1);
    }

    private static synchronized void record(String call) {
        try {
            Files.write(data.resolve("calls.txt"), bytes(call + "\n"), StandardOpenOption.CREATE,
                        StandardOpenOption.APPEND);
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
    }
}
