package com.orlena.tessel.brevant.apps;

import com.orlena.tessel.brevant.http.Pages;
import com.orlena.tessel.brevant.http.Request;
import com.orlena.tessel.brevant.http.Response;
import java.io.IOException;

/** The client-certificate descriptor as the connector built it. */
final class CertApplication implements Application {
    @Override
    public void serve(Request request, Response response) throws IOException {
        Pages.text(response, 200, request.clientCertificate() + "\n");
    }
}
