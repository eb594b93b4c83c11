package com.orlena.tessel.brevant.apps;

import com.orlena.tessel.brevant.http.Pages;
import com.orlena.tessel.brevant.http.Request;
import com.orlena.tessel.brevant.http.Response;
import java.io.IOException;

/** A fixed short page: the smallest proof that a request reached the engine. */
final class HelloApplication implements Application {
    static final String PAGE =
        "<html><head><title>Hello</title></head><body><h1>Hello from Brevant</h1></body></html>\n";

    @Override
    public void serve(Request request, Response response) throws IOException {
        Pages.html(response, 200, PAGE);
    }
}
