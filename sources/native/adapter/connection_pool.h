// The idle connections a group with `keepalive` keeps to one instance, for later requests:
// newest first, at most the group's number, each with the relay buffer it brings along.
//
// Shared by every IIS thread that serves the instance's requests; a short lock guards the
// list, and no system call is made under it.
#ifndef BREVANT_ADAPTER_CONNECTION_POOL_H
#define BREVANT_ADAPTER_CONNECTION_POOL_H

#include <winsock2.h>  // before windows.h, as WinSock 2 asks
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace brevant::adapter {

struct GroupTable;

// Relay pieces of groups with `keepalive`: one receive and one WriteClient carry this much.
constexpr size_t kKeptPieceSize = 64 * 1024;

// An open connection to an instance that ended its last exchange with command 3.
struct IdleConnection {
    SOCKET socket = INVALID_SOCKET;
    std::unique_ptr<char[]> buffer;  // kKeptPieceSize bytes
    int64_t since = 0;               // steady-clock ms when it became idle
};

class ConnectionPool {
  public:
    explicit ConnectionPool(size_t capacity);
    ~ConnectionPool();  // closes what is left
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    // The newest connection that is still fit: idle for at most `maxIdle` ms, and with
    // nothing readable on it (the instance has neither closed it nor sent anything since).
    // The unfit ones met on the way are closed.
    std::optional<IdleConnection> take(int64_t now, int64_t maxIdle);

    // Keeps the connection; when the pool is full, the oldest one is closed to make room.
    void give(IdleConnection connection);

    void closeAll();

  private:
    size_t capacity_;
    std::mutex mutex_;
    std::vector<IdleConnection> idle_;  // oldest first; guarded by mutex_
};

// Nothing to read, not closed, not failed, right now (a poll that does not wait): a
// connection the next request can start on.
bool isQuiet(SOCKET socket);

// A pool for every instance of every group with `keepalive`, made while the filter loads.
void createConnectionPools(GroupTable& table);

// Closes every pooled connection of the table: the extension is being unloaded.
void closeConnectionPools(const GroupTable& table);

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_CONNECTION_POOL_H
