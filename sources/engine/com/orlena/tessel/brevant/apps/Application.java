package com.orlena.tessel.brevant.apps;

import com.orlena.tessel.brevant.http.Request;
import com.orlena.tessel.brevant.http.Response;
import java.io.IOException;

/**
 * A handler for the requests under one name of "/servlet/". Called on the thread serving
 * the request, possibly on many threads at once: keep no per-request state in fields.
 */
public interface Application {
    void serve(Request request, Response response) throws IOException;
}
