// The client-certificate descriptor builder: what each certificate variable adds, in which
// order the variables are read, and that a short serial number reads nothing past its end.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "native/common/client_certificate.h"

namespace {

using brevant::common::buildClientCertificate;
using brevant::common::kCertificateDescriptorSize;

// Server variables as IIS gives them: sizes count the NUL, too small a buffer fails.
struct Variables {
    std::map<std::string, std::string> values;
    std::vector<std::string> read;
    std::vector<DWORD> sizes;
    std::vector<std::string> flags;

    std::string build() {
        char descriptor[kCertificateDescriptorSize];
        std::memset(descriptor, '#', sizeof descriptor);
        size_t length = buildClientCertificate(
            [this](const char* name, char* buffer, DWORD* size) {
                read.push_back(name);
                sizes.push_back(*size);
                auto found = values.find(name);
                if (found == values.end() || *size < found->second.size() + 1) {
                    return false;
                }
                std::memcpy(buffer, found->second.c_str(), found->second.size() + 1);
                *size = static_cast<DWORD>(found->second.size() + 1);
                return true;
            },
            [this](const char* value) { flags.push_back(value); }, descriptor);
        EXPECT_EQ(std::strlen(descriptor), length) << "the descriptor ends with its NUL";
        return std::string(descriptor, length);
    }
};

const std::string kSerial = "01-02-03-04-05-06-07-08-09-0a-0b-0c-0d-0e-0f-10";

TEST(ClientCertificate, AllFieldsInTheirOrderWithTheSerialReversed) {
    Variables variables;
    variables.values = {{"CERT_FLAGS", "1"},
                        {"CERT_SUBJECT", "C=DE, O=Client Org, CN=client one"},
                        {"CERT_SERVER_SUBJECT", "C=US, O=Example, CN=127.0.0.1"},
                        {"CERT_ISSUER", "C=US, O=Test CA, CN=Test Root"},
                        {"CERT_SERIALNUMBER", kSerial}};
    EXPECT_EQ(variables.build(),
              "&DN#C=DE, O=Client Org, CN=client one C=US, O=Example, CN=127.0.0.1"
              "&IN#C=US, O=Test CA, CN=Test Root"
              "&SN#100f0e0d0c0b0a090807060504030201"
              "&END&");
    EXPECT_EQ(variables.read,
              (std::vector<std::string>{"CERT_FLAGS", "CERT_SUBJECT", "CERT_SERVER_SUBJECT",
                                        "CERT_ISSUER", "CERT_SERIALNUMBER"}));
    EXPECT_EQ(variables.sizes, std::vector<DWORD>(5, 1023));
    EXPECT_EQ(variables.flags, std::vector<std::string>{"1"}) << "reported, never in the text";
}

TEST(ClientCertificate, AbsentOrEmptyVariablesLeaveOnlyTheirTagsOut) {
    Variables none;
    EXPECT_EQ(none.build(), "&END&");
    EXPECT_TRUE(none.flags.empty());
    EXPECT_EQ(none.read, (std::vector<std::string>{"CERT_FLAGS", "CERT_SUBJECT", "CERT_ISSUER",
                                                   "CERT_SERIALNUMBER"}))
        << "no server subject without a subject";

    Variables anonymous;  // a TLS request without a client certificate
    anonymous.values = {{"CERT_FLAGS", ""},
                        {"CERT_SUBJECT", ""},
                        {"CERT_SERVER_SUBJECT", "S"},
                        {"CERT_ISSUER", ""},
                        {"CERT_SERIALNUMBER", ""}};
    EXPECT_EQ(anonymous.build(), "&END&");
    EXPECT_TRUE(anonymous.flags.empty());

    Variables issuerOnly;
    issuerOnly.values = {{"CERT_SERVER_SUBJECT", "server"}, {"CERT_ISSUER", "issuer"}};
    EXPECT_EQ(issuerOnly.build(), "&IN#issuer&END&");

    Variables subjectOnly;
    subjectOnly.values = {{"CERT_SUBJECT", "subject"}, {"CERT_SERIALNUMBER", kSerial}};
    EXPECT_EQ(subjectOnly.build(), "&DN#subject&SN#100f0e0d0c0b0a090807060504030201&END&");
}

TEST(ClientCertificate, AShortSerialGivesTheGroupsItHoldsAndNothingBeyondIt) {
    // The issuer is read into the same buffer just before the serial: a builder that read
    // past the serial's end would pick up the issuer's characters.
    Variables variables;
    variables.values = {{"CERT_ISSUER", std::string(60, 'Z')}, {"CERT_SERIALNUMBER", "01-02-0"}};
    EXPECT_EQ(variables.build(), "&IN#" + std::string(60, 'Z') + "&SN#00201&END&");

    variables.values["CERT_SERIALNUMBER"] = "ab";
    EXPECT_EQ(variables.build(), "&IN#" + std::string(60, 'Z') + "&SN#ab&END&");

    variables.values["CERT_SERIALNUMBER"] = kSerial.substr(0, 46);  // last group cut to "1"
    EXPECT_EQ(variables.build(), "&IN#" + std::string(60, 'Z') +
                                     "&SN#1"
                                     "0f0e0d0c0b0a090807060504030201&END&");

    variables.values["CERT_SERIALNUMBER"] = kSerial + "-ff";  // beyond 47: not looked at
    EXPECT_EQ(variables.build(),
              "&IN#" + std::string(60, 'Z') + "&SN#100f0e0d0c0b0a090807060504030201&END&");
}

TEST(ClientCertificate, LongestValuesFitAndLongerOnesCannotBeRead) {
    Variables variables;
    std::string longest(1022, 's');
    variables.values = {{"CERT_SUBJECT", longest},
                        {"CERT_SERVER_SUBJECT", longest},
                        {"CERT_ISSUER", longest},
                        {"CERT_SERIALNUMBER", kSerial}};
    EXPECT_EQ(variables.build(), "&DN#" + longest + " " + longest + "&IN#" + longest +
                                     "&SN#100f0e0d0c0b0a090807060504030201&END&");

    variables.values["CERT_ISSUER"] = std::string(1023, 'i');  // needs 1024 with its NUL
    EXPECT_EQ(variables.build(),
              "&DN#" + longest + " " + longest + "&SN#100f0e0d0c0b0a090807060504030201&END&");
}

}  // namespace
