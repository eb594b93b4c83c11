// The server's live connections, so that stopping can close the idle ones and wait for
// the rest. Holds plain pointers: a connection adds itself when it starts and removes
// itself in its destructor.
//
// Thread safety: every member from any thread.
#ifndef ISAPIHOST_HTTP_CONNECTION_REGISTRY_H
#define ISAPIHOST_HTTP_CONNECTION_REGISTRY_H

#include <condition_variable>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

namespace isapihost {

class Connection;

class ConnectionRegistry {
  public:
    // False once shutdown has begun: the caller closes the connection instead.
    bool add(Connection* connection);
    void remove(Connection* connection);

    // Admits no more connections and returns those alive now.
    std::vector<std::shared_ptr<Connection>> beginShutdown();
    void waitUntilEmpty();

  private:
    std::mutex mutex_;
    std::condition_variable emptied_;
    std::unordered_set<Connection*> live_;  // guarded by mutex_
    bool shuttingDown_ = false;             // guarded by mutex_
};

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_CONNECTION_REGISTRY_H
