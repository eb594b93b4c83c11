package com.orlena.tessel.brevant.apps;

import com.orlena.tessel.brevant.http.Pages;
import com.orlena.tessel.brevant.http.Parameters;
import com.orlena.tessel.brevant.http.Request;
import com.orlena.tessel.brevant.http.Response;
import java.io.IOException;

/** Everything the request model knows, as text: for checking what a connector passed on. */
final class SnoopApplication implements Application {
    @Override
    public void serve(Request request, Response response) throws IOException {
        StringBuilder out = new StringBuilder(1024);
        line(out, "Method", request.method());
        line(out, "Requested URL", request.requestedUrl());
        line(out, "Path", request.path());
        line(out, "Query string", request.queryString());
        line(out, "Protocol", request.protocol());
        line(out, "Remote address", request.remoteAddr());
        line(out, "Remote host", request.remoteHost());
        line(out, "Remote user", request.remoteUser());
        line(out, "Server name", request.serverName());
        line(out, "Server port", String.valueOf(request.serverPort()));
        line(out, "Server software", request.serverSoftware());
        line(out, "Secure", String.valueOf(request.isSecure()));
        line(out, "Content length", String.valueOf(request.contentLength()));
        out.append("\nHeaders:\n");
        for (String name : request.headers().names()) {
            for (String value : request.headers().getAll(name)) {
                out.append("  ").append(name).append(": ").append(value).append('\n');
            }
        }
        out.append("\nParameters:\n");
        Parameters params = request.parameters();
        for (String name : params.names()) {
            for (String value : params.getAll(name)) {
                out.append("  ").append(name).append(" = ").append(value).append('\n');
            }
        }
        Pages.text(response, 200, out.toString());
    }

    private static void line(StringBuilder out, String label, String value) {
        out.append(label).append(": ").append(value == null ? "" : value).append('\n');
    }
}
