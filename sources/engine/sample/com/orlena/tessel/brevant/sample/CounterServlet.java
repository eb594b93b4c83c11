package com.orlena.tessel.brevant.sample;

import jakarta.servlet.http.HttpServlet;
import jakarta.servlet.http.HttpServletRequest;
import jakarta.servlet.http.HttpServletResponse;
import jakarta.servlet.http.HttpSession;
import java.io.IOException;

/** Counts the requests of a session: "count=N", 1 at the first. */
public class CounterServlet extends HttpServlet {
    private static final long serialVersionUID = 1L;

    @Override
    protected void doGet(HttpServletRequest request, HttpServletResponse response) throws IOException {
        HttpSession session = request.getSession();
        int count;
        // Requests of one session may run at once; Tomcat hands each the same session object.
        synchronized (session) {
            Object before = session.getAttribute("count");
            count = before instanceof Integer ? (Integer) before + 1 : 1;
            session.setAttribute("count", count);
        }
        response.setContentType("text/plain; charset=UTF-8");
        response.getWriter().println("count=" + count);
    }
}
