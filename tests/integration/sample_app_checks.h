// What the sample web application (sources/engine/webapps/sample) answers through a whole
// chain, for the tests of both connectors: gtest expectations on the server at `port`.
#ifndef TESTS_INTEGRATION_SAMPLE_APP_CHECKS_H
#define TESTS_INTEGRATION_SAMPLE_APP_CHECKS_H

#include <cstddef>
#include <string>

namespace sample {

// Puts beside the sample, in the webapps folder at `folder`, a broken.war that is no zip.
void addBrokenWar(const std::string& folder);
// The line in which Tomcat reports that it could not deploy it.
std::string brokenWarReport(const std::string& folder);

// Five requests with the cookie of the first count 1 to 5 in one session.
void expectSessionCountsOneToFive(int port);

// /sample/a/b;x=1?q=1 split as Tomcat splits it, by a servlet mapped at /a/*.
void expectTomcatsPathsOfAServletUnderAPrefix(int port);

// An application's exception: Tomcat's 500 page.
void expectTomcats500PageForAnApplicationException(int port);

// /forward answers part.jsp's text alone, /include wraps it; the filter marks both.
void expectForwardAndIncludeComposeTheirBodies(int port);

// A multipart/form-data upload of `size` bytes: its length and CRC-32 come back.
void expectAMultipartUploadArrivesWhole(int port, size_t size);

}  // namespace sample

#endif  // TESTS_INTEGRATION_SAMPLE_APP_CHECKS_H
