// A scriptable application-server instance for the adapter's tests, over real sockets.
//
// It listens on 127.0.0.1 on a free port and serves every connection it accepts on a
// thread of its own: it runs the test's script, which reads what the adapter sends and
// plays back commands, then half-closes its side and reads on until the adapter closes
// the connection. Every byte received is recorded, exactly, with whether the adapter
// closed the connection. Reads give up after a time-out so that a broken adapter fails a
// test instead of hanging it.
//
// Threads: the accepting thread and one per connection; the recorded connections are
// guarded and may be read from any thread.
#ifndef TESTS_INTEGRATION_FAKE_INSTANCE_H
#define TESTS_INTEGRATION_FAKE_INSTANCE_H

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

    // Reads through the first `terminator` (included in the answer); what the read took
    // beyond it stays for the next read. "" on time-out or end.
    std::string readUntil(const std::string& terminator);
    // The request head: through its empty line.
    std::string readHead() { return readUntil("\r\n\r\n"); }
    // The additional-information block: seven lines ended by CR LF.
    std::string readAddlInfo();
    // Exactly `count` bytes, or what came before a time-out or the end.
    std::string readBytes(size_t count);

    void send(const std::string& bytes);
    // Each piece in a send of its own, with a pause between them, so that the adapter
    // receives them apart.
    void sendInPieces(const std::vector<std::string>& pieces,
                      std::chrono::milliseconds pause = std::chrono::milliseconds(50));
    static void pause(std::chrono::milliseconds time) { std::this_thread::sleep_for(time); }

    // Dies: resets the connection, no further bytes either way.
    void abort();
    // Reads until the adapter closes or resets the connection (recorded) or the time-out
    // passes.
    void waitForClose();

    const std::string& received() const { return received_; }
    bool closedByAdapter() const { return closedByAdapter_; }
    bool aborted() const { return socket_ < 0; }

  private:
    bool fill();  // one more receive into pending_; false at the end or on time-out

    int socket_;
    std::string received_;  // every byte, in order
    std::string pending_;   // received, not yet taken by a read of the script
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
    explicit FakeInstance(Script script,
                          std::chrono::milliseconds timeout = std::chrono::seconds(10));
    ~FakeInstance();  // stops accepting, waits for the connections' threads
    FakeInstance(const FakeInstance&) = delete;
    FakeInstance& operator=(const FakeInstance&) = delete;

    int port() const { return port_; }

    // Waits until `count` connections are over; false when `timeout` passes first.
    bool waitForConnections(size_t count,
                            std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // The finished connections, in the order in which they ended.
    std::vector<Connection> connections() const;

  private:
    void acceptLoop();
    void serve(int socket);

    Script script_;
    std::chrono::milliseconds timeout_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::thread> servers_;     // guarded by mutex_
    std::vector<Connection> connections_;  // guarded by mutex_
};

// A port on 127.0.0.1 where nothing listens: connecting is refused.
int closedPort();

}  // namespace fakeinstance

#endif  // TESTS_INTEGRATION_FAKE_INSTANCE_H
