// What every connection of one server shares: the handler, the limits, the worker pool,
// the registry of live connections, and whether the server is stopping.
//
// Thread safety: the members are themselves safe to use from any thread; the struct
// outlives every connection (HttpServer::Impl owns it).
#ifndef ISAPIHOST_HTTP_SERVER_CONTEXT_H
#define ISAPIHOST_HTTP_SERVER_CONTEXT_H

#include <atomic>

#include "stand-ins/isapihost/http/connection_registry.h"
#include "stand-ins/isapihost/http/exchange.h"
#include "stand-ins/isapihost/http/http_server.h"
#include "stand-ins/isapihost/http/worker_pool.h"

namespace isapihost {

struct ServerContext {
    ServerContext(RequestHandler& handler, const ServerLimits& limits)
        : handler(handler), limits(limits) {}

    RequestHandler& handler;
    const ServerLimits limits;
    WorkerPool workers;
    ConnectionRegistry registry;
    std::atomic<bool> stopping{false};
};

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_SERVER_CONTEXT_H
