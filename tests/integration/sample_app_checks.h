// The sample web application (sources/engine/webapps/sample) through a whole chain, for the
// tests of both connectors: gtest expectations on the server at `port`.
#ifndef TESTS_INTEGRATION_SAMPLE_APP_CHECKS_H
#define TESTS_INTEGRATION_SAMPLE_APP_CHECKS_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace sample {

// A broken.war that is no zip, put beside the sample in the webapps folder `folder`, and the
// line in which Tomcat reports that it could not deploy it.
void addBrokenWar(const std::string& folder);
std::string brokenWarReport(const std::string& folder);

// Its JSP page, paths under /a/*, 500 page, forward and include answer as from Tomcat.
void expectPagesAnswer(int port);

// Five requests with the cookie of the first count 1 to 5 in one session.
void expectSessionCountsOneToFive(int port);

// A multipart/form-data upload of 50 MB: its length and CRC-32 come back.
void expectAMultipartUploadArrivesWhole(int port);

// A download of 100 MiB arrives whole and in order, while the peak resident memory of each
// process in `servers` (those the answer passes through) grows by far less than that.
void expectADownloadStreamsInBoundedMemory(int port, const std::vector<pid_t>& servers);

}  // namespace sample

#endif  // TESTS_INTEGRATION_SAMPLE_APP_CHECKS_H
