// Idle instance connections, newest first.
#include "native/adapter/connection_pool.h"

#include <utility>

#include "native/adapter/adapter_groups.h"

namespace brevant::adapter {

bool isQuiet(SOCKET socket) {
    WSAPOLLFD poll = {};
    poll.fd = socket;
    poll.events = POLLRDNORM;
    return WSAPoll(&poll, 1, 0) == 0;
}

ConnectionPool::ConnectionPool(size_t capacity) : capacity_(capacity) {
    idle_.reserve(capacity);  // no allocation while requests give connections back
}

ConnectionPool::~ConnectionPool() {
    closeAll();
}

std::optional<IdleConnection> ConnectionPool::take(int64_t now, int64_t maxIdle) {
    for (;;) {
        IdleConnection connection;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (idle_.empty()) {
                return std::nullopt;
            }
            connection = std::move(idle_.back());
            idle_.pop_back();
        }
        if (now - connection.since <= maxIdle && isQuiet(connection.socket)) {
            return connection;
        }
        closesocket(connection.socket);
    }
}

void ConnectionPool::give(IdleConnection connection) {
    SOCKET pushedOut = INVALID_SOCKET;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (capacity_ == 0) {
            pushedOut = connection.socket;
        } else {
            if (idle_.size() == capacity_) {
                pushedOut = idle_.front().socket;
                idle_.erase(idle_.begin());
            }
            idle_.push_back(std::move(connection));
        }
    }
    if (pushedOut != INVALID_SOCKET) {
        closesocket(pushedOut);
    }
}

void ConnectionPool::closeAll() {
    std::vector<IdleConnection> closing;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closing.swap(idle_);
        idle_.reserve(capacity_);
    }
    for (IdleConnection& connection : closing) {
        closesocket(connection.socket);
    }
}

void createConnectionPools(GroupTable& table) {
    for (int g = 0; g < table.groupCount; ++g) {
        AdapterGroup& group = table.groups[g];
        for (int i = 0; group.keepAlive != 0 && i <= group.lastInstance; ++i) {
            instanceAt(group, i).pool = std::make_shared<ConnectionPool>(group.keepAlive);
        }
    }
}

void closeConnectionPools(const GroupTable& table) {
    for (int g = 0; g < table.groupCount; ++g) {
        const AdapterGroup& group = table.groups[g];
        for (int i = 0; i <= group.lastInstance; ++i) {
            if (instanceAt(group, i).pool) {
                instanceAt(group, i).pool->closeAll();
            }
        }
    }
}

}  // namespace brevant::adapter
