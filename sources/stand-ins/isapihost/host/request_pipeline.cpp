#include "stand-ins/isapihost/host/request_pipeline.h"

#include <iiscnfg.h>
#include <objbase.h>
#include <strings.h>
#include <sys/stat.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "stand-ins/isapihost/http/responses.h"
#include "stand-ins/isapihost/host/server_variables.h"

namespace isapihost {

namespace {

// IIS's worker threads are COM-initialised, and modules rely on it.
void initialiseComOnThisThread() {
    thread_local bool initialised = false;
    if (!initialised) {
        CoInitialize(nullptr);
        initialised = true;
    }
}

std::string decodeBase64(const std::string& text) {
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    unsigned value = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=')
            break;
        auto index = alphabet.find(c);
        if (index == std::string::npos)
            continue;
        value = (value << 6) | static_cast<unsigned>(index);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((value >> bits) & 0xFF);
        }
    }
    return out;
}

// The Basic credentials of the request; false when it carries none.
bool basicCredentials(const RequestContext& request, std::string* user, std::string* password) {
    const Header* authorization = request.findHeader("Authorization");
    if (authorization == nullptr || strncasecmp(authorization->value.c_str(), "Basic ", 6) != 0) {
        return false;
    }
    std::string decoded = decodeBase64(authorization->value.substr(6));
    auto colon = decoded.find(':');
    if (colon == std::string::npos) {
        return false;
    }
    *user = decoded.substr(0, colon);
    *password = decoded.substr(colon + 1);
    return true;
}

// Copies `text` into a fixed filter buffer; false when it does not fit.
bool copyBounded(char* buffer, size_t size, const std::string& text) {
    if (text.size() >= size) {
        return false;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

bool isDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isFile(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// A symbolic link must not lead out of the directory it is served from.
bool staysInside(const std::string& path, const std::string& root) {
    char resolvedPath[PATH_MAX];
    char resolvedRoot[PATH_MAX];
    if (realpath(path.c_str(), resolvedPath) == nullptr ||
        realpath(root.c_str(), resolvedRoot) == nullptr) {
        return false;
    }
    size_t length = std::strlen(resolvedRoot);
    return std::strncmp(resolvedPath, resolvedRoot, length) == 0 &&
           (resolvedPath[length] == '/' || resolvedPath[length] == '\0' ||
            (length == 1 && resolvedRoot[0] == '/'));
}

AfterResponse respond(RequestContext& request, const ResponseResult& result) {
    request.status = result.status;
    request.responseStarted = true;
    return result.after;
}

}  // namespace

RequestPipeline::RequestPipeline(const std::vector<Site>& sites, const FilterChain& filters,
                                 ExtensionHost& extensions, AccessLog* accessLog)
    : sites_(sites), filters_(filters), extensions_(extensions), accessLog_(accessLog) {}

const Site& RequestPipeline::siteFor(uint16_t localPort) const {
    for (const Site& site : sites_) {
        for (uint16_t port : site.ports) {
            if (port == localPort) {
                return site;
            }
        }
    }
    return sites_.front();
}

AfterResponse RequestPipeline::handle(Exchange& exchange) {
    initialiseComOnThisThread();
    auto started = std::chrono::steady_clock::now();
    RequestContext request(exchange, siteFor(exchange.connection().localPort));
    FilterRequest filters(filters_, request);

    AfterResponse after = serve(request, filters);

    auto taken = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started);
    log(request, filters, static_cast<uint64_t>(taken.count()));
    filters.notify(SF_NOTIFY_END_OF_REQUEST, nullptr);
    // A body nobody read would be taken for the next request.
    if (request.exchange.head().contentLength > 0 && !request.mapping.isExtension) {
        after = AfterResponse::Close;
    }
    return after;
}

AfterResponse RequestPipeline::serve(RequestContext& request, FilterRequest& filters) {
    HTTP_FILTER_PREPROC_HEADERS preproc = makePreprocHeaders();
    FilterOutcome outcome = filters.notify(SF_NOTIFY_PREPROC_HEADERS, &preproc);
    if (outcome != FilterOutcome::Continue) {
        return afterFilter(request, outcome);
    }

    request.mapping = mapUrl(request.site, request.path);

    bool denied = false;
    AfterResponse after = authenticate(request, filters, &denied);
    if (denied) {
        return after;
    }
    return serveContent(request);
}

AfterResponse RequestPipeline::authenticate(RequestContext& request, FilterRequest& filters,
                                            bool* denied) {
    char user[SF_MAX_USERNAME] = "";
    char password[SF_MAX_PASSWORD] = "";
    std::string givenUser, givenPassword;
    if (basicCredentials(request, &givenUser, &givenPassword)) {
        if (!copyBounded(user, sizeof user, givenUser) ||
            !copyBounded(password, sizeof password, givenPassword)) {
            *denied = true;
            return respond(request, sendError(request.exchange, 401,
                                              "WWW-Authenticate: Basic realm=\"isapihost\"\r\n"));
        }
        request.authType = "Basic";
    }
    HTTP_FILTER_AUTHENT authent{user, sizeof user, password, sizeof password};
    FilterOutcome outcome = filters.notify(SF_NOTIFY_AUTHENTICATION, &authent);
    if (outcome != FilterOutcome::Continue) {
        *denied = true;
        return afterFilter(request, outcome);
    }
    user[sizeof user - 1] = '\0';
    password[sizeof password - 1] = '\0';
    // Anonymous when the name is still empty; any other name, also one a filter put there,
    // must log on.
    if (user[0] == '\0') {
        request.authType.clear();
        return AfterResponse::KeepAlive;
    }
    auto account = request.site.users.find(user);
    if (account == request.site.users.end() || account->second != password) {
        *denied = true;
        return respond(request, sendError(request.exchange, 401,
                                          "WWW-Authenticate: Basic realm=\"isapihost\"\r\n"));
    }
    request.user = user;
    request.password = password;
    if (request.authType.empty()) {
        request.authType = "Basic";
    }
    return AfterResponse::KeepAlive;
}

AfterResponse RequestPipeline::serveContent(RequestContext& request) {
    const Mapping& mapping = request.mapping;
    if (mapping.escapes) {
        return respond(request, sendError(request.exchange, 400));
    }
    if (mapping.directory == nullptr) {
        return respond(request, sendError(request.exchange, 404));
    }
    if (mapping.isExtension) {
        if (!(mapping.directory->accessPermissions & MD_ACCESS_EXECUTE)) {
            return respond(request, sendError(request.exchange, 403));
        }
        if (!staysInside(mapping.modulePath, mapping.directory->physicalPath)) {
            return respond(request, sendError(request.exchange, 404));
        }
        return extensions_.call(request, mapping.modulePath);
    }
    return serveStatic(request);
}

AfterResponse RequestPipeline::serveStatic(RequestContext& request) {
    const Mapping& mapping = request.mapping;
    if (!(mapping.directory->accessPermissions & MD_ACCESS_READ)) {
        return respond(request, sendError(request.exchange, 403));
    }
    std::string file = mapping.physicalPath;
    if (isDirectory(file)) {
        if (request.path.empty() || request.path.back() != '/') {
            // IIS adds the missing "/" of a directory URL with a redirect.
            std::string location = request.path + "/";
            if (!request.queryString.empty()) {
                location += "?" + request.queryString;
            }
            return respond(request, sendRedirect(request.exchange, location));
        }
        std::string found;
        if (request.site.loadDefaultDocuments) {
            for (const std::string& name : request.site.defaultDocuments) {
                if (isFile(file + name)) {
                    found = file + name;
                    break;
                }
            }
        }
        if (found.empty()) {
            return respond(request, sendError(request.exchange, 403));  // no listing
        }
        file = found;
    }
    if (isFile(file) && !staysInside(file, mapping.directory->physicalPath)) {
        return respond(request, sendError(request.exchange, 404));
    }
    return respond(request, serveFile(request.exchange, file, request.site.contentTypeFor(file)));
}

AfterResponse RequestPipeline::afterFilter(RequestContext& request, FilterOutcome outcome) {
    switch (outcome) {
        case FilterOutcome::Continue:
            return AfterResponse::KeepAlive;
        case FilterOutcome::FinishedKeepConnection:
            request.finished = true;
            if (request.status == 0)
                request.status = 200;
            return AfterResponse::KeepAlive;
        case FilterOutcome::Finished:
            request.finished = true;
            if (request.status == 0)
                request.status = 200;
            return AfterResponse::Close;
        case FilterOutcome::Error:
            if (!request.responseStarted) {
                respond(request, sendError(request.exchange, 500));
            }
            request.status = 500;
            return AfterResponse::Close;
    }
    return AfterResponse::Close;
}

void RequestPipeline::log(RequestContext& request, FilterRequest& filters, uint64_t milliseconds) {
    const ConnectionInfo& connection = request.exchange.connection();
    std::string serverName;
    serverVariable(request, "SERVER_NAME", &serverName);
    std::string target = request.path;
    std::string parameters = request.queryString;
    HTTP_FILTER_LOG record{};
    record.pszClientHostName = connection.remoteAddress.c_str();
    record.pszClientUserName = request.user.c_str();
    record.pszServerName = serverName.c_str();
    record.pszOperation = request.method.c_str();
    record.pszTarget = target.c_str();
    record.pszParameters = parameters.c_str();
    record.dwHttpStatus = static_cast<DWORD>(request.status);
    record.dwBytesSent = static_cast<DWORD>(request.exchange.bytesSent());
    record.dwBytesRecvd = static_cast<DWORD>(request.exchange.bytesReceived());
    record.msTimeForProcessing = static_cast<DWORD>(milliseconds);
    filters.notify(SF_NOTIFY_LOG, &record);
    if (accessLog_ == nullptr) {
        return;
    }
    AccessLogEntry entry;
    entry.clientIp = connection.remoteAddress;
    entry.userName = record.pszClientUserName != nullptr ? record.pszClientUserName : "";
    entry.serverPort = connection.localPort;
    entry.method = record.pszOperation != nullptr ? record.pszOperation : "";
    entry.uriStem = record.pszTarget != nullptr ? record.pszTarget : "";
    entry.uriQuery = record.pszParameters != nullptr ? record.pszParameters : "";
    entry.status = static_cast<int>(record.dwHttpStatus);
    entry.bytesSent = request.exchange.bytesSent();
    entry.millisecondsTaken = milliseconds;
    accessLog_->write(entry);
}

}  // namespace isapihost
