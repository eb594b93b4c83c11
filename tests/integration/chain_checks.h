// Helpers shared by the end-to-end tests: free ports, access-log lines, and the checks
// that large bodies cross a whole chain (client, web server, connector, engine) intact.
#ifndef TESTS_INTEGRATION_CHAIN_CHECKS_H
#define TESTS_INTEGRATION_CHAIN_CHECKS_H

#include <chrono>
#include <functional>
#include <string>

namespace chain {

// A port nobody listens on right now: bound to port 0, read back, released.
int freePort();

// Whether something accepts connections on 127.0.0.1:port.
bool accepts(int port);

// Whether `condition` holds within `wait`, asked every 50 ms.
bool eventually(const std::function<bool()>& condition,
                std::chrono::milliseconds wait = std::chrono::seconds(30));

// Whether the file at `path` holds `text` within a few seconds: log lines are written
// after their responses are sent.
bool fileSoonHolds(const std::string& path, const std::string& text);

// A 20 MB upload to /servlet/Upload and a 100 MB answer of /servlet/Stream pass whole
// through the server on `port` (gtest expectations).
void expectBodiesPassWhole(int port);

}  // namespace chain

#endif  // TESTS_INTEGRATION_CHAIN_CHECKS_H
