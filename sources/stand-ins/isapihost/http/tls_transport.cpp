#include "stand-ins/isapihost/http/tls_transport.h"

#include <cstdint>

#include <openssl/err.h>
#include <openssl/x509.h>

#include "stand-ins/isapihost/http/certificate_text.h"

namespace isapihost {

std::unique_ptr<TlsTransport> TlsTransport::create(SSL_CTX* context, int fd) {
    ERR_clear_error();
    SSL* ssl = SSL_new(context);
    if (ssl == nullptr) {
        return nullptr;
    }
    if (SSL_set_fd(ssl, fd) != 1) {
        SSL_free(ssl);
        ERR_clear_error();
        return nullptr;
    }
    SSL_set_accept_state(ssl);
    return std::unique_ptr<TlsTransport>(new TlsTransport(ssl, fd));
}

// The descriptor belongs to the connection's socket: SSL_set_fd's BIO does not close it.
TlsTransport::~TlsTransport() {
    SSL_free(ssl_);
}

IoResult TlsTransport::result(int returned) {
    if (returned > 0) {
        return {IoStatus::Done, static_cast<size_t>(returned)};
    }
    int error = SSL_get_error(ssl_, returned);
    ERR_clear_error();
    switch (error) {
        case SSL_ERROR_WANT_READ:
            return {IoStatus::WantRead, 0};
        case SSL_ERROR_WANT_WRITE:
            return {IoStatus::WantWrite, 0};
        case SSL_ERROR_ZERO_RETURN:
            return {IoStatus::Closed, 0};
        default:
            failed_ = true;
            return {IoStatus::Failed, 0};
    }
}

IoResult TlsTransport::tryHandshake() {
    ERR_clear_error();
    IoResult r = result(SSL_do_handshake(ssl_));
    return r.status == IoStatus::Done ? IoResult{IoStatus::Done, 0} : r;
}

IoResult TlsTransport::tryRead(void* buffer, size_t size) {
    ERR_clear_error();
    int n = size > INT32_MAX ? INT32_MAX : static_cast<int>(size);
    return result(SSL_read(ssl_, buffer, n));
}

IoResult TlsTransport::tryWrite(const void* data, size_t size) {
    ERR_clear_error();
    int n = size > INT32_MAX ? INT32_MAX : static_cast<int>(size);
    return result(SSL_write(ssl_, data, n));
}

void TlsTransport::shutdownWrite() {
    if (!failed_ && SSL_is_init_finished(ssl_)) {
        ERR_clear_error();
        SSL_shutdown(ssl_);  // one try: close_notify goes out if the socket takes it
        ERR_clear_error();
    }
    Transport::shutdownWrite();
}

ClientCertificate TlsTransport::clientCertificate() const {
    ClientCertificate certificate;
    X509* peer = SSL_get1_peer_certificate(ssl_);
    if (peer == nullptr) {
        return certificate;
    }
    certificate.present = true;
    certificate.flags = 1;
    if (SSL_get_verify_result(ssl_) != X509_V_OK) {
        certificate.flags |= 2;
    }
    certificate.subject = certificateNameText(X509_get_subject_name(peer));
    certificate.issuer = certificateNameText(X509_get_issuer_name(peer));
    certificate.serialNumber = certificateSerialText(X509_get_serialNumber(peer));
    X509_free(peer);
    return certificate;
}

}  // namespace isapihost
