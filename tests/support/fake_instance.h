// A scriptable application-server instance for the adapter's tests, on 127.0.0.1 over real
// sockets. Each accepted connection is served on a thread of its own: the test's script
// reads what the adapter sends and plays back commands, then the instance half-closes its
// side and reads on until the adapter closes the connection. Every byte received is
// recorded, with whether the adapter closed the connection; reads give up after a time-out,
// so that a broken adapter fails a test instead of hanging it.
#ifndef TESTS_SUPPORT_FAKE_INSTANCE_H
#define TESTS_SUPPORT_FAKE_INSTANCE_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace fakeinstance {

// The commands of the wire format, as bytes.
std::string responseData(const std::string& data);  // 0, length, data
std::string readBody(uint32_t count);               // 1, count
std::string clientCertificate();                    // 2

// One accepted connection, as the script sees it.
class Peer {
  public:
    Peer(int socket, std::chrono::milliseconds timeout);
    ~Peer();
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;

    // Through the first `terminator` not read yet; "" on time-out or end.
    std::string readUntil(const std::string& terminator);
    // Exactly `count` bytes, or what came before a time-out or the end.
    std::string readBytes(size_t count);

    void send(const std::string& bytes);
    // Each piece in a send of its own, `pause` apart, so that the adapter receives them apart.
    void sendInPieces(const std::vector<std::string>& pieces, std::chrono::milliseconds pause);
    // Dies: resets the connection, no further bytes either way.
    void abort();

  private:
    friend class FakeInstance;

    bool fill();  // one more receive; false at the end or on time-out
    std::string take(size_t count);

    int socket_;
    std::string received_;  // every byte, in order
    size_t taken_ = 0;      // by the script's reads
    bool closedByAdapter_ = false;
    bool ended_ = false;
};

using Script = std::function<void(Peer&)>;

// What one connection brought, once it is over.
struct Connection {
    std::string received;
    bool closedByAdapter = false;
};

class FakeInstance {
  public:
    // Listens on `port`, or on a free port when it is 0; a given port may be one a killed
    // instance left just before (its connections still in TIME_WAIT).
    explicit FakeInstance(Script script,
                          std::chrono::milliseconds timeout = std::chrono::seconds(10),
                          int port = 0);
    ~FakeInstance();  // stops accepting, waits for the connections' threads
    FakeInstance(const FakeInstance&) = delete;
    FakeInstance& operator=(const FakeInstance&) = delete;

    int port() const { return port_; }

    // Takes the first finished connection whose bytes begin with `start` off the record,
    // waiting a few seconds for one; an empty one when none comes.
    Connection takeConnection(const std::string& start = "");

  private:
    void acceptLoop();
    void serve(int socket);

    Script script_;
    std::chrono::milliseconds timeout_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::thread> servers_;     // guarded by mutex_
    std::vector<Connection> connections_;  // guarded by mutex_, in the order they ended
};

}  // namespace fakeinstance

#endif  // TESTS_SUPPORT_FAKE_INSTANCE_H
