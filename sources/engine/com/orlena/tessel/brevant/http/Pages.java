package com.orlena.tessel.brevant.http;

import java.io.IOException;
import java.nio.charset.StandardCharsets;

/** Small complete responses whose length is known before they are sent. */
public final class Pages {
    private Pages() {
    }

    public static void text(Response response, int status, String text) throws IOException {
        send(response, status, "text/plain; charset=utf-8", text);
    }

    public static void html(Response response, int status, String html) throws IOException {
        send(response, status, "text/html; charset=utf-8", html);
    }

    private static void send(Response response, int status, String type, String text) throws IOException {
        byte[] bytes = text.getBytes(StandardCharsets.UTF_8);
        response.setStatus(status);
        response.setContentType(type);
        response.setContentLength(bytes.length);
        response.body().write(bytes);
    }
}
