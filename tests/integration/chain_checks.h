// Helpers shared by the end-to-end tests: free ports, access-log lines, starting the Java
// instance and isapihost with the adapter, and the checks that large bodies cross a whole
// chain (client, web server, connector, engine) intact.
#ifndef TESTS_INTEGRATION_CHAIN_CHECKS_H
#define TESTS_INTEGRATION_CHAIN_CHECKS_H

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "server_process.h"

namespace chain {

// A port nobody listens on right now: bound to port 0, read back, released.
int freePort();

// "127.0.0.1:port", as a group's instances are written.
std::string entryOf(int port);

// Whether something accepts connections on 127.0.0.1:port.
bool accepts(int port);

// Whether `condition` holds within `wait`, asked every 50 ms.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds wait = std::chrono::seconds(30));

// Whether the file at `path` holds `text` within a few seconds: log lines are written
// after their responses are sent.
bool fileSoonHolds(const std::string& path, const std::string& text);

// The build's Java application-server instance (Brevant30.jar, with the container's jars) on
// `port`, its output in `logFile`; `arguments` add to its command line. True once it listens.
bool startAppServer(testsupport::ServerProcess& instance, int port, const std::string& logFile,
                    const std::vector<std::string>& arguments = {});

// isapihost serving `folder`, with Brevant_Adapter as its filter and its /Scripts extension:
// the module is copied to folder/modules beside `properties` (its brevant.properties);
// `arguments` add to the command line.
bool startAdapterHost(testsupport::ServerProcess& host, const std::string& folder,
                      const std::string& properties,
                      const std::vector<std::string>& arguments = {});

// A 20 MB upload to /servlet/Upload and a 100 MB answer of /servlet/Stream pass whole
// through the server on `port` (gtest expectations).
void expectBodiesPassWhole(int port);

}  // namespace chain

#endif  // TESTS_INTEGRATION_CHAIN_CHECKS_H
