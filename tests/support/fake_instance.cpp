#include "fake_instance.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>

namespace fakeinstance {

namespace {

std::string bigEndian(uint32_t value) {
    uint32_t networkOrder = htonl(value);
    return std::string(reinterpret_cast<const char*>(&networkOrder), sizeof networkOrder);
}

}  // namespace

std::string responseData(const std::string& data) {
    return '\0' + bigEndian(static_cast<uint32_t>(data.size())) + data;
}

std::string readBody(uint32_t count) {
    return '\1' + bigEndian(count);
}

std::string clientCertificate() {
    return std::string(1, '\2');
}

Peer::Peer(int socket, std::chrono::milliseconds timeout) : socket_(socket) {
    timeval limit = {static_cast<time_t>(timeout.count() / 1000),
                     static_cast<suseconds_t>(timeout.count() % 1000 * 1000)};
    setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

Peer::~Peer() {
    if (socket_ >= 0) {
        ::close(socket_);
    }
}

bool Peer::fill() {
    if (socket_ < 0 || ended_) {
        return false;
    }
    char buffer[65536];
    ssize_t count = 0;
    while ((count = recv(socket_, buffer, sizeof buffer, 0)) < 0 && errno == EINTR) {
    }
    if (count > 0) {
        received_.append(buffer, static_cast<size_t>(count));
        return true;
    }
    // The end, or a reset, as the adapter's close sends one when it leaves bytes of the
    // instance unread; else the time-out.
    closedByAdapter_ = count == 0 || errno == ECONNRESET;
    ended_ = true;
    return false;
}

std::string Peer::take(size_t count) {
    std::string taken = received_.substr(taken_, count);
    taken_ += taken.size();
    return taken;
}

std::string Peer::readUntil(const std::string& terminator) {
    size_t found = 0;
    while ((found = received_.find(terminator, taken_)) == std::string::npos) {
        if (!fill()) {
            return "";
        }
    }
    return take(found + terminator.size() - taken_);
}

std::string Peer::readBytes(size_t count) {
    while (received_.size() - taken_ < count && fill()) {
    }
    return take(count);
}

void Peer::send(const std::string& bytes) {
    size_t sent = 0;
    while (socket_ >= 0 && sent < bytes.size()) {
        ssize_t count = ::send(socket_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return;
        }
        sent += static_cast<size_t>(count);
    }
}

void Peer::sendInPieces(const std::vector<std::string>& pieces, std::chrono::milliseconds pause) {
    for (size_t i = 0; i < pieces.size(); ++i) {
        if (i > 0) {
            std::this_thread::sleep_for(pause);
        }
        send(pieces[i]);
    }
}

void Peer::abort() {
    linger reset = {1, 0};  // the close resets the connection
    setsockopt(socket_, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(socket_);
    socket_ = -1;
}

FakeInstance::FakeInstance(Script script, std::chrono::milliseconds timeout, int port)
    : script_(std::move(script)), timeout_(timeout) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int reuse = 1;
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t length = sizeof address;
    if (listener_ < 0 ||
        setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse) != 0 ||
        bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(listener_, 256) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        std::terminate();  // a test machine without loopback sockets runs no test at all
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
}

FakeInstance::~FakeInstance() {
    stopping_ = true;
    shutdown(listener_, SHUT_RDWR);  // wakes the accepting thread
    acceptor_.join();
    ::close(listener_);
    std::vector<std::thread> servers;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        servers.swap(servers_);
    }
    for (std::thread& server : servers) {
        server.join();
    }
}

void FakeInstance::acceptLoop() {
    for (;;) {
        int socket = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (stopping_) {
            if (socket >= 0) {
                ::close(socket);
            }
            return;
        }
        if (socket >= 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            servers_.emplace_back([this, socket] { serve(socket); });
        }
    }
}

void FakeInstance::serve(int socket) {
    Peer peer(socket, timeout_);
    script_(peer);
    if (peer.socket_ >= 0) {
        shutdown(socket, SHUT_WR);  // the exchange is over: the adapter reads the end
        while (peer.fill()) {
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    connections_.push_back(Connection{peer.received_, peer.closedByAdapter_});
    changed_.notify_all();
}

Connection FakeInstance::takeConnection(const std::string& start) {
    std::unique_lock<std::mutex> lock(mutex_);
    auto found = connections_.end();
    changed_.wait_for(lock, std::chrono::seconds(5), [&] {
        found = std::find_if(connections_.begin(), connections_.end(),
                             [&](const Connection& c) { return c.received.starts_with(start); });
        return found != connections_.end();
    });
    if (found == connections_.end()) {
        return Connection();
    }
    Connection taken = std::move(*found);
    connections_.erase(found);
    return taken;
}

}  // namespace fakeinstance
