#include "stand-ins/isapihost/http/tls_context.h"

#include <openssl/err.h>
#include <openssl/x509.h>

#include "stand-ins/isapihost/http/certificate_text.h"

namespace isapihost {
namespace {

std::string openSslReason() {
    unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) {
        return "unknown error";
    }
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

// Accepts every chain: the verification result stays readable with SSL_get_verify_result
// and becomes the "untrusted" flag of the client certificate.
int acceptAnyCertificate(int, X509_STORE_CTX*) {
    return 1;
}

}  // namespace

std::unique_ptr<TlsContext> TlsContext::create(const ListenerConfig& config, std::string* error) {
    ERR_clear_error();
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> ctx(SSL_CTX_new(TLS_server_method()),
                                                          SSL_CTX_free);
    if (!ctx) {
        *error = "cannot create a TLS context: " + openSslReason();
        return nullptr;
    }
    SSL_CTX_set_min_proto_version(ctx.get(), TLS1_2_VERSION);
    // Reads and writes are retried from other buffers and threads after WANT_*, and idle
    // keep-alive connections should not hold OpenSSL's buffers.
    SSL_CTX_set_mode(ctx.get(), SSL_MODE_ENABLE_PARTIAL_WRITE |
                                    SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER | SSL_MODE_RELEASE_BUFFERS);
    // A client that closes without close_notify has still ended in order for us.
    SSL_CTX_set_options(ctx.get(), SSL_OP_IGNORE_UNEXPECTED_EOF);

    if (SSL_CTX_use_certificate_chain_file(ctx.get(), config.certificateFile.c_str()) != 1) {
        *error = "cannot load the certificate " + config.certificateFile + ": " + openSslReason();
        return nullptr;
    }
    if (SSL_CTX_use_PrivateKey_file(ctx.get(), config.keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(ctx.get()) != 1) {
        *error = "cannot load the key " + config.keyFile + ": " + openSslReason();
        return nullptr;
    }
    if (!config.clientCaFile.empty()) {
        if (SSL_CTX_load_verify_locations(ctx.get(), config.clientCaFile.c_str(), nullptr) != 1) {
            *error =
                "cannot load the client CA file " + config.clientCaFile + ": " + openSslReason();
            return nullptr;
        }
        // Tells clients which CAs we trust, so they pick the right certificate.
        STACK_OF(X509_NAME)* names = SSL_load_client_CA_file(config.clientCaFile.c_str());
        if (names != nullptr) {
            SSL_CTX_set_client_CA_list(ctx.get(), names);
        }
        SSL_CTX_set_verify(ctx.get(), SSL_VERIFY_PEER, acceptAnyCertificate);
        // Session resumption with peer verification needs a context id.
        static const unsigned char kSessionContext[] = "isapihost";
        SSL_CTX_set_session_id_context(ctx.get(), kSessionContext, sizeof kSessionContext - 1);
    }
    X509* certificate = SSL_CTX_get0_certificate(ctx.get());
    std::string subject =
        certificate ? certificateNameText(X509_get_subject_name(certificate)) : std::string();
    ERR_clear_error();
    return std::unique_ptr<TlsContext>(new TlsContext(ctx.release(), std::move(subject)));
}

TlsContext::~TlsContext() {
    SSL_CTX_free(context_);
}

}  // namespace isapihost
