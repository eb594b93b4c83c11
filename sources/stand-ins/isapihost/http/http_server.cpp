// The server's life: listen() opens listeners; run() starts the I/O threads and the worker
// pool, waits for stop(), then shuts down in the order that loses no request:
//   1. listeners close, so no connection is added;
//   2. idle connections (handshake, waiting for a head) close;
//   3. connections being served finish their request and close (no keep-alive);
//   4. when none is left, the workers and then the I/O threads are joined.
#include "stand-ins/isapihost/http/http_server.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>

#include "stand-ins/isapihost/http/connection.h"
#include "stand-ins/isapihost/http/listener.h"
#include "stand-ins/isapihost/http/server_context.h"

namespace isapihost {

namespace {
// Head reading and handshakes are short bursts of work; two threads keep both cores busy
// while the workers block.
constexpr unsigned kIoThreads = 2;
}  // namespace

class HttpServer::Impl {
  public:
    Impl(RequestHandler& handler, const ServerLimits& limits)
        : context_(handler, limits), io_(static_cast<int>(kIoThreads)) {}

    uint16_t listen(const ListenerConfig& config, std::string* error);
    void run();
    void stop();

  private:
    void serveIo();

    // Declared before io_: connections destroyed with io_'s pending handlers still
    // unregister from the context.
    ServerContext context_;
    boost::asio::io_context io_;
    std::vector<std::unique_ptr<Listener>> listeners_;

    std::mutex mutex_;
    std::condition_variable stopWanted_;
    bool stopRequested_ = false;  // guarded by mutex_
};

uint16_t HttpServer::Impl::listen(const ListenerConfig& config, std::string* error) {
    auto listener = std::make_unique<Listener>(io_, context_);
    uint16_t port = listener->open(config, error);
    if (port != 0) {
        listeners_.push_back(std::move(listener));
    }
    return port;
}

void HttpServer::Impl::serveIo() {
    for (;;) {
        try {
            io_.run();
            return;
        } catch (...) {
            // A handler that ran out of memory: its connection is dropped, the rest go on.
        }
    }
}

void HttpServer::Impl::run() {
    auto work = boost::asio::make_work_guard(io_);
    std::vector<std::thread> ioThreads;
    for (unsigned i = 0; i < kIoThreads; ++i) {
        try {
            ioThreads.emplace_back([this] { serveIo(); });
        } catch (const std::system_error&) {
            break;
        }
    }
    unsigned workers = context_.limits.workerThreads > 0 ? context_.limits.workerThreads : 1;
    if (ioThreads.empty() || context_.workers.start(workers) == 0) {
        stop();  // no thread to serve with: end at once rather than hang
    }

    {
        std::unique_lock<std::mutex> lock(mutex_);
        stopWanted_.wait(lock, [this] { return stopRequested_; });
    }

    context_.stopping.store(true);
    for (auto& listener : listeners_) {
        listener->close();
    }
    for (auto& connection : context_.registry.beginShutdown()) {
        connection->closeIfIdle();
    }
    context_.registry.waitUntilEmpty();
    context_.workers.stop();

    work.reset();
    io_.stop();
    for (std::thread& thread : ioThreads) {
        thread.join();
    }
}

void HttpServer::Impl::stop() {
    context_.stopping.store(true);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopRequested_ = true;
    }
    stopWanted_.notify_all();
}

HttpServer::HttpServer(RequestHandler& handler, const ServerLimits& limits)
    : impl_(std::make_unique<Impl>(handler, limits)) {}

HttpServer::~HttpServer() = default;

uint16_t HttpServer::listen(const ListenerConfig& config, std::string* error) {
    return impl_->listen(config, error);
}

void HttpServer::run() {
    impl_->run();
}

void HttpServer::stop() {
    impl_->stop();
}

}  // namespace isapihost
