<%@ page contentType="text/html; charset=UTF-8" %>
<html><head><title>Sample</title></head>
<body><h1>Hello from a JSP page</h1>
<p>Context path: <%= request.getContextPath() %>, servlet path: <%= request.getServletPath() %></p>
<p>Query: <%= request.getParameter("q") %>, scheme: <%= request.getScheme() %></p>
<p>User: <%= request.getRemoteUser() %></p>
</body></html>
