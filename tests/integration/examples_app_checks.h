// Tomcat's own `examples` application (Debian's package tomcat10-examples) through a whole
// chain, for the tests of both connectors: a web application this project did not write, with
// its own context.xml (a RemoteCIDRValve admitting loopback clients only, SameSite cookies)
// and the JSTL jars in its WEB-INF/lib. gtest expectations on the server at `port`.
#ifndef TESTS_INTEGRATION_EXAMPLES_APP_CHECKS_H
#define TESTS_INTEGRATION_EXAMPLES_APP_CHECKS_H

#include <string>

namespace examples {

// Copies the installed application into the webapps folder `folder` as examples/. When it is
// not installed, the checks below fail, naming the package.
void deployInto(const std::string& folder);

// Its index page, servlets and JSP pages (compiled by Jasper, with JSTL from WEB-INF/lib)
// answer with the texts of their sources.
void expectPagesAnswer(int port);

// SessionExample keeps an attribute set by one request for the next one with its cookie.
void expectSessionKeepsAnAttribute(int port);

// Neither connector can hand a request on after the servlet returns: its asynchronous servlets
// get Tomcat's refusal of startAsync, and the stock ticker, which asks first, its own 400.
void expectAsyncServletsAreRefused(int port);

// Neither connector can hand the connection over: a WebSocket upgrade, to its endpoints or to
// a servlet, is answered 501 and reaches no application.
void expectWebSocketUpgradesAreRefused(int port);

}  // namespace examples

#endif  // TESTS_INTEGRATION_EXAMPLES_APP_CHECKS_H
