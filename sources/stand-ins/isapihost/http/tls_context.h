// The TLS settings of one listener: an OpenSSL server context with the certificate and
// key, and, when a client CA file is given, a request for client certificates. Untrusted
// client certificates are accepted (IIS reports them with a flag rather than refusing).
//
// Thread safety: built by listen(); afterwards only read, from any thread (OpenSSL
// contexts may be shared by connections on many threads).
#ifndef ISAPIHOST_HTTP_TLS_CONTEXT_H
#define ISAPIHOST_HTTP_TLS_CONTEXT_H

#include <memory>
#include <string>

#include <openssl/ssl.h>

#include "stand-ins/isapihost/http/http_server.h"

namespace isapihost {

class TlsContext {
  public:
    // nullptr with *error naming the file and OpenSSL's reason when the files do not load.
    static std::unique_ptr<TlsContext> create(const ListenerConfig& config, std::string* error);
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    SSL_CTX* context() const { return context_; }
    const std::string& serverSubject() const { return serverSubject_; }

  private:
    TlsContext(SSL_CTX* context, std::string serverSubject)
        : context_(context), serverSubject_(std::move(serverSubject)) {}

    SSL_CTX* const context_;
    const std::string serverSubject_;
};

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_TLS_CONTEXT_H
