// One HTTP request as a worker thread serves it: the request head, what is known of the
// connection, and blocking I/O on the client connection.
//
// The HTTP core reads request heads asynchronously; only a complete head is handed to a
// worker thread, which then runs the request handler (filters, extensions, static files)
// with blocking reads and writes, as IIS runs synchronous ISAPI code. A read or write that
// the client does not let finish within the connection time-out fails.
//
// Thread: an Exchange is used by the one worker thread serving its request.
#ifndef ISAPIHOST_HTTP_EXCHANGE_H
#define ISAPIHOST_HTTP_EXCHANGE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

namespace isapihost {

struct Header {
    std::string name;  // as the client spelled it
    std::string value;
};

// The client certificate of a TLS connection, in the forms IIS reports it.
struct ClientCertificate {
    bool present = false;
    uint32_t flags = 0;        // CERT_FLAGS: 1 present, | 2 when its issuer is not trusted
    std::string subject;       // "C=US, O=Example, CN=client", in certificate order
    std::string issuer;        // same form
    std::string serialNumber;  // bytes least significant first: "10-0f-...-01"
};

struct RequestHead {
    std::string method;
    std::string target;  // the request target exactly as sent
    unsigned versionMajor = 1;
    unsigned versionMinor = 1;
    std::vector<Header> headers;  // in arrival order
    std::string rawHeaders;       // the header lines as sent, each ended by CR LF
    uint64_t contentLength = 0;   // 0 when the request has no Content-Length
    bool clientWantsKeepAlive = false;
};

struct ConnectionInfo {
    std::string remoteAddress;
    uint16_t remotePort = 0;
    std::string localAddress;
    uint16_t localPort = 0;
    bool secure = false;
    ClientCertificate certificate;
    std::string serverCertificateSubject;  // empty on a plain connection
};

class Exchange {
  public:
    virtual ~Exchange() = default;

    virtual const RequestHead& head() const = 0;
    virtual const ConnectionInfo& connection() const = 0;

    // Raw bytes after the request head: first those that arrived with the head, then from
    // the connection, blocking while the client is slow. Returns the count read (> 0), 0
    // when the client has closed the connection, -1 on a failure or after the connection
    // time-out. Knows nothing of Content-Length: callers never read past the body.
    virtual ssize_t readSome(void* buffer, size_t size) = 0;

    // Sends all bytes unchanged; false on a failure or after the connection time-out.
    virtual bool writeAll(const void* data, size_t size) = 0;

    virtual uint64_t bytesSent() const = 0;
    virtual uint64_t bytesReceived() const = 0;  // head and body
};

// What happens to the connection once the handler returns. KeepAlive is honoured only
// when the client asked for it and the connection is still sound.
enum class AfterResponse { KeepAlive, Close };

// Serves requests on worker threads, many at a time.
class RequestHandler {
  public:
    virtual ~RequestHandler() = default;
    virtual AfterResponse handle(Exchange& exchange) = 0;
};

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_EXCHANGE_H
