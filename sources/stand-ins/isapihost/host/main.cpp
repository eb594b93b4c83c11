// isapihost: an ISAPI web server for Linux, in the place of IIS.
//
// Start: read the command line; with quick-start flags, bind the listeners and write the
// site into a metabase of its own, exported as STANDIN_METABASE before any module is
// loaded, so that the modules, which read IIS's settings themselves, see exactly what is
// served. Then read the sites and filters from the metabase, load the filters and serve.
//
// Stop (SIGTERM or SIGINT), in this order: close the listeners; let in-flight requests
// and notifications finish and join the workers; flush and close the access log; then
// TerminateExtension and TerminateFilter, and unload. A module may end the process inside
// TerminateExtension (a hosted JVM does): by then nothing of the server's is lost.
#include <objbase.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>

#include "stand-ins/isapihost/http/access_log.h"
#include "stand-ins/isapihost/host/configuration.h"
#include "stand-ins/isapihost/host/extension_host.h"
#include "stand-ins/isapihost/host/filter_chain.h"
#include "stand-ins/isapihost/http/http_server.h"
#include "stand-ins/isapihost/host/options.h"
#include "stand-ins/isapihost/host/request_pipeline.h"

using namespace isapihost;

namespace {

std::string absolutePath(const std::string& path) {
    return std::filesystem::absolute(path).lexically_normal().string();
}

int fail(const std::string& message) {
    std::fprintf(stderr, "isapihost: %s\n", message.c_str());
    return 1;
}

ListenerConfig listenerFor(const Options& options, uint16_t port, bool tls) {
    ListenerConfig listener;
    listener.port = port;
    listener.tls = tls;
    if (tls) {
        listener.certificateFile = options.certificateFile;
        listener.keyFile = options.keyFile;
        listener.clientCaFile = options.clientCaFile;
    }
    return listener;
}

// A private metabase for the quick-start site, removed when the server ends.
class PrivateMetabase {
  public:
    bool create(std::string* error) {
        char pattern[] = "/tmp/isapihost-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            *error = "cannot create a folder for the quick-start metabase";
            return false;
        }
        folder_ = pattern;
        setenv("STANDIN_METABASE", (folder_ + "/metabase.txt").c_str(), 1);
        return true;
    }
    void remove() {
        if (!folder_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(folder_, ignored);
            folder_.clear();
        }
    }
    ~PrivateMetabase() { remove(); }

  private:
    std::string folder_;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!parseOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "isapihost: %s\n\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (options.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }

    // Signals are taken by one thread of our own; every other thread, the server's and
    // the modules', inherits this mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    CoInitialize(nullptr);  // IIS's threads are COM-initialised; modules rely on it

    std::vector<Site> sites;
    FilterChain filters;
    ExtensionHost extensions;
    AccessLog accessLog;
    RequestPipeline pipeline(sites, filters, extensions,
                             options.accessLog.empty() ? nullptr : &accessLog);
    ServerLimits limits;
    limits.workerThreads = options.threads;
    limits.connectionTimeout = std::chrono::seconds(options.connectionTimeoutSeconds);
    HttpServer server(pipeline, limits);

    std::vector<uint16_t> bound;
    PrivateMetabase privateMetabase;
    if (options.quickStart) {
        QuickStart quickStart;
        uint16_t port =
            server.listen(listenerFor(options, static_cast<uint16_t>(options.port), false), &error);
        if (port == 0)
            return fail(error);
        quickStart.ports.push_back(port);
        bound.push_back(port);
        if (options.tlsPort >= 0) {
            uint16_t tlsPort = server.listen(
                listenerFor(options, static_cast<uint16_t>(options.tlsPort), true), &error);
            if (tlsPort == 0)
                return fail(error);
            quickStart.securePorts.push_back(tlsPort);
            bound.push_back(tlsPort);
        }
        quickStart.root = absolutePath(options.root);
        for (QuickStart::Directory directory : options.directories) {
            directory.path = absolutePath(directory.path);
            quickStart.directories.push_back(directory);
        }
        for (const std::string& filter : options.filters) {
            quickStart.filters.push_back(absolutePath(filter));
        }
        quickStart.defaultDocuments = options.defaultDocuments;
        quickStart.mimeTypes = options.mimeTypes;
        if (!options.usersFile.empty())
            quickStart.usersFile = absolutePath(options.usersFile);
        if (!privateMetabase.create(&error) || !writeQuickStart(quickStart, &error)) {
            return fail(error);
        }
    } else if (getenv("STANDIN_METABASE") == nullptr) {
        return fail("no site: give quick-start options (see --help) or set STANDIN_METABASE");
    }

    Configuration configuration;
    if (!readConfiguration(&configuration, &error)) {
        return fail(error);
    }
    sites = configuration.sites;
    if (!options.quickStart) {
        for (const Site& site : sites) {
            for (uint16_t port : site.ports) {
                bool tls = static_cast<int>(port) == options.tlsPort;
                uint16_t actual = server.listen(listenerFor(options, port, tls), &error);
                if (actual == 0) {
                    return fail(error);
                }
                bound.push_back(actual);
            }
        }
    }
    prepareRegistry(&configuration.warnings);
    for (const std::string& warning : configuration.warnings) {
        std::fprintf(stderr, "isapihost: warning: %s\n", warning.c_str());
    }
    if (!options.accessLog.empty() && !accessLog.open(options.accessLog, &error)) {
        return fail(error);
    }
    filters.load(configuration.filters);

    std::thread signalThread([&server, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.stop();
    });
    for (uint16_t port : bound) {
        std::printf("isapihost: listening on 127.0.0.1:%u\n", static_cast<unsigned>(port));
    }
    std::fflush(stdout);

    server.run();
    signalThread.join();

    accessLog.close();
    privateMetabase.remove();
    extensions.terminate();
    filters.terminate();
    return 0;
}
