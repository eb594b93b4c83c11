package com.orlena.tessel.brevant.sample;

import jakarta.servlet.ServletException;
import jakarta.servlet.http.HttpServlet;
import jakarta.servlet.http.HttpServletRequest;
import jakarta.servlet.http.HttpServletResponse;
import java.io.IOException;
import java.io.PrintWriter;

/**
 * /forward hands the request to part.jsp, which answers alone; /include wraps part.jsp's
 * answer in lines of its own.
 */
public class DispatchServlet extends HttpServlet {
    private static final long serialVersionUID = 1L;

    @Override
    protected void doGet(HttpServletRequest request, HttpServletResponse response)
            throws IOException, ServletException {
        response.setContentType("text/plain; charset=UTF-8");
        PrintWriter out = response.getWriter();
        if ("/forward".equals(request.getServletPath())) {
            out.println("never sent: a forward clears the buffer");
            request.getRequestDispatcher("/part.jsp").forward(request, response);
            return;
        }
        out.println("before");
        out.flush();
        request.getRequestDispatcher("/part.jsp").include(request, response);
        out.println("after");
    }
}
