package com.orlena.tessel.brevant.apps;

import com.orlena.tessel.brevant.ISAPINativeLib;
import com.orlena.tessel.brevant.http.Pages;
import com.orlena.tessel.brevant.http.Request;
import com.orlena.tessel.brevant.http.Response;
import java.io.IOException;

/**
 * Security?on / Security?off: switches whether the connector's filter asks authIISRequest.
 * In-process only, since only the connector library has the switch.
 */
final class SecurityApplication implements Application {
    @Override
    public void serve(Request request, Response response) throws IOException {
        String query = String.valueOf(request.queryString());
        if (query.equals("on")) {
            ISAPINativeLib.enableIISSecurity();
            Pages.text(response, 200, "IIS security on\n");
        } else if (query.equals("off")) {
            ISAPINativeLib.disableIISSecurity();
            Pages.text(response, 200, "IIS security off\n");
        } else {
            Pages.text(response, 400, "Security needs ?on or ?off\n");
        }
    }
}
