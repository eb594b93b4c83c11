// A small blocking HTTP client over real sockets on 127.0.0.1, for tests: sends bytes
// exactly as given and reads what comes back, so that tests can check the bytes a server
// sends. The receive time-out makes a server fault fail a test instead of hanging it. A
// TLS client overrides the transport (receive, transmit) and keeps the rest.
#ifndef TESTS_SUPPORT_HTTP_CLIENT_H
#define TESTS_SUPPORT_HTTP_CLIENT_H

#include <sys/types.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace testsupport {

struct HttpResponse {
    int status = 0;  // 0 when nothing parseable came back
    std::string statusLine;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    std::string raw;  // every byte received
};

class HttpConnection {
  public:
    explicit HttpConnection(int port, int timeoutSeconds = 30);
    virtual ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    bool connected() const { return fd_ >= 0; }
    bool send(const std::string& bytes);
    // Reads one response: the head, then Content-Length bytes (none after HEAD, 1xx, 204
    // and 304), or everything until the server closes when there is no Content-Length.
    HttpResponse read(bool headRequest = false);
    // Reads one response as read() does, but hands its body to `consume` piece by piece as it
    // arrives and keeps none of it (the body stays empty): for bodies too large to hold.
    HttpResponse readStreamed(const std::function<void(std::string_view)>& consume,
                              bool headRequest = false);
    // Everything until the server closes the connection.
    std::string readAll();
    // True when the server closes the connection within the wait, sending nothing more.
    bool closedByServer(int waitMilliseconds = 2000);
    // The client's end of the body: the server reads end of stream.
    void shutdownSending();
    void close();

  protected:
    // The transport, as recv and send answer.
    virtual ssize_t receive(char* buffer, size_t size);
    virtual ssize_t transmit(const char* data, size_t size);
    int fd() const { return fd_; }

  private:
    bool fill();  // reads more into pending_; false at end or on error
    int fd_ = -1;
    std::string pending_;
    bool ended_ = false;
};

// One request on a fresh connection: "GET <target> HTTP/1.1" with Host and
// Connection: close, plus `extraHeaders` (each ended by CR LF) and `body`.
HttpResponse httpRequest(int port, const std::string& method, const std::string& target,
                         const std::string& extraHeaders = "", const std::string& body = "");

// The "name=value" part of the response's Set-Cookie header, as a client sends it back in
// "Cookie: name=value", or "" when the response sets no cookie.
std::string cookieSet(const HttpResponse& response);

}  // namespace testsupport

#endif  // TESTS_SUPPORT_HTTP_CLIENT_H
