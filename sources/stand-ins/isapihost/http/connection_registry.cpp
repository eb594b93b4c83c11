#include "stand-ins/isapihost/http/connection_registry.h"

#include "stand-ins/isapihost/http/connection.h"

namespace isapihost {

bool ConnectionRegistry::add(Connection* connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (shuttingDown_) {
        return false;
    }
    live_.insert(connection);
    return true;
}

void ConnectionRegistry::remove(Connection* connection) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (live_.erase(connection) > 0 && live_.empty()) {
        emptied_.notify_all();
    }
}

std::vector<std::shared_ptr<Connection>> ConnectionRegistry::beginShutdown() {
    std::lock_guard<std::mutex> lock(mutex_);
    shuttingDown_ = true;
    std::vector<std::shared_ptr<Connection>> connections;
    connections.reserve(live_.size());
    for (Connection* connection : live_) {
        // A connection whose destructor is waiting for the lock has no owner left.
        if (std::shared_ptr<Connection> alive = connection->weak_from_this().lock()) {
            connections.push_back(std::move(alive));
        }
    }
    return connections;
}

void ConnectionRegistry::waitUntilEmpty() {
    std::unique_lock<std::mutex> lock(mutex_);
    emptied_.wait(lock, [this] { return live_.empty(); });
}

}  // namespace isapihost
