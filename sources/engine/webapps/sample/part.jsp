<%@ page contentType="text/plain; charset=UTF-8" session="false" %>part.jsp, servlet path <%= request.getServletPath() %>
