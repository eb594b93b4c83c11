#include "stand-ins/isapihost/http/certificate_text.h"

#include <cstdio>
#include <memory>

#include <openssl/bio.h>

namespace isapihost {

std::string certificateNameText(const X509_NAME* name) {
    if (name == nullptr) {
        return "";
    }
    std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new(BIO_s_mem()), BIO_free);
    if (!bio) {
        return "";
    }
    // XN_FLAG_SEP_CPLUS_SPC gives ", " between names; leaving out XN_FLAG_SPC_EQ and
    // XN_FLAG_DN_REV keeps "=" bare and the certificate's order. Values stay UTF-8.
    const unsigned long flags = XN_FLAG_SEP_CPLUS_SPC | XN_FLAG_FN_SN | ASN1_STRFLGS_ESC_CTRL |
                                ASN1_STRFLGS_UTF8_CONVERT | ASN1_STRFLGS_DUMP_UNKNOWN |
                                ASN1_STRFLGS_DUMP_DER;
    if (X509_NAME_print_ex(bio.get(), name, 0, flags) < 0) {
        return "";
    }
    char* data = nullptr;
    long size = BIO_get_mem_data(bio.get(), &data);
    return size > 0 ? std::string(data, static_cast<size_t>(size)) : std::string();
}

std::string certificateSerialText(const ASN1_INTEGER* serial) {
    if (serial == nullptr) {
        return "";
    }
    const unsigned char* bytes = ASN1_STRING_get0_data(serial);
    int length = ASN1_STRING_length(serial);
    if (length <= 0) {
        return "00";
    }
    std::string text;
    text.reserve(static_cast<size_t>(length) * 3);
    for (int i = length - 1; i >= 0; --i) {
        char pair[3];
        snprintf(pair, sizeof pair, "%02x", bytes[i]);
        if (!text.empty()) {
            text += '-';
        }
        text += pair;
    }
    return text;
}

}  // namespace isapihost
