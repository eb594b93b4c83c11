package com.orlena.tessel.brevant.apps;

import com.orlena.tessel.brevant.http.Pages;
import com.orlena.tessel.brevant.http.Request;
import com.orlena.tessel.brevant.http.Response;
import java.io.IOException;

/** Status?code=N: answers with that status, for checking what the web server logs. */
final class StatusApplication implements Application {
    @Override
    public void serve(Request request, Response response) throws IOException {
        int code;
        try {
            code = Integer.parseInt(String.valueOf(request.parameter("code")));
        } catch (NumberFormatException e) {
            code = -1;
        }
        if (code < 100 || code > 999) {
            Pages.text(response, 400, "Status needs code=N with N from 100 to 999\n");
            return;
        }
        Pages.text(response, code, "Status " + code + "\n");
    }
}
