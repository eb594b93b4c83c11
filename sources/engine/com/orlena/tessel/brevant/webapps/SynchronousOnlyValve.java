package com.orlena.tessel.brevant.webapps;

import jakarta.servlet.ServletException;
import java.io.IOException;
import org.apache.catalina.connector.Request;
import org.apache.catalina.connector.Response;
import org.apache.catalina.valves.ValveBase;

/**
 * First in the engine's pipeline, it passes every request on and declares that it does not
 * support asynchronous processing. Our connectors need the answer complete when the call
 * into the container returns, so startAsync must fail at once: the container then throws
 * its IllegalStateException ("does not support asynchronous operations") to the
 * application and logs this class as the reason.
 */
final class SynchronousOnlyValve extends ValveBase {
    SynchronousOnlyValve() {
        super(false);
    }

    @Override
    public void invoke(Request request, Response response) throws IOException, ServletException {
        getNext().invoke(request, response);
    }
}
