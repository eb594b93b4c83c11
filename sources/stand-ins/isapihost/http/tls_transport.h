// TLS on a client connection through OpenSSL, on the connection's non-blocking descriptor
// (SSL_set_fd): SSL_accept, SSL_read and SSL_write report WANT_READ / WANT_WRITE, which the
// caller waits for in its own way. Asio's ssl::stream is not used because its engine cannot
// serve the worker side's blocking reads with a deadline.
//
// Thread: one thread at a time, whichever holds the connection. OpenSSL's error queue is
// per thread, so every call clears it first.
#ifndef ISAPIHOST_HTTP_TLS_TRANSPORT_H
#define ISAPIHOST_HTTP_TLS_TRANSPORT_H

#include <memory>

#include <openssl/ssl.h>

#include "stand-ins/isapihost/http/exchange.h"
#include "stand-ins/isapihost/http/transport.h"

namespace isapihost {

class TlsTransport final : public Transport {
  public:
    // nullptr when OpenSSL cannot set up the connection.
    static std::unique_ptr<TlsTransport> create(SSL_CTX* context, int fd);
    ~TlsTransport() override;

    IoResult tryHandshake() override;
    IoResult tryRead(void* buffer, size_t size) override;
    IoResult tryWrite(const void* data, size_t size) override;
    void shutdownWrite() override;

    // The client's certificate as IIS describes it. REQUIRES: the handshake is done.
    ClientCertificate clientCertificate() const;

  private:
    TlsTransport(SSL* ssl, int fd) : Transport(fd), ssl_(ssl) {}
    IoResult result(int returned);

    SSL* const ssl_;
    bool failed_ = false;  // after a fatal error OpenSSL forbids SSL_shutdown
};

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_TLS_TRANSPORT_H
