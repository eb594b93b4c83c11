// The client-certificate descriptor builder: what each certificate variable adds, in which
// order the variables are read, and that a short serial number reads nothing past its end.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "native/common/client_certificate.h"

namespace brevant::common {
namespace {

using Variables = std::map<std::string, std::string>;

const std::string kSerial = "01-02-03-04-05-06-07-08-09-0a-0b-0c-0d-0e-0f-10";
const std::string kReversed = "&SN#100f0e0d0c0b0a090807060504030201";
const std::string kLongest(1022, 's');  // with its NUL, all that a variable's 1023 bytes hold
const std::string kIssuer(60, 'Z');     // read into the buffer just before the serial number

class ClientCertificateTest : public testing::Test {
  protected:
    // The descriptor for these server variables, read as IIS gives them: sizes count the
    // NUL, too small a buffer fails.
    std::string Build(const Variables& values) {
        char descriptor[kCertificateDescriptorSize];
        std::memset(descriptor, '#', sizeof descriptor);
        size_t length = buildClientCertificate(
            [&](const char* name, char* buffer, DWORD* size) {
                read_.push_back(name);
                sizes_.push_back(*size);
                auto found = values.find(name);
                if (found == values.end() || *size < found->second.size() + 1) {
                    return false;
                }
                std::memcpy(buffer, found->second.c_str(), found->second.size() + 1);
                *size = static_cast<DWORD>(found->second.size() + 1);
                return true;
            },
            [this](const char* value) { flags_.push_back(value); }, descriptor);
        EXPECT_EQ(std::strlen(descriptor), length) << "the descriptor ends with its NUL";
        return std::string(descriptor, length);
    }

    std::vector<std::string> read_;
    std::vector<DWORD> sizes_;
    std::vector<std::string> flags_;
};

TEST_F(ClientCertificateTest, ReadsEachVariableInItsOrderAndReportsOnlyTheFlags) {
    Build({{"CERT_FLAGS", "1"}, {"CERT_SUBJECT", "s"}, {"CERT_SERIALNUMBER", kSerial}});
    EXPECT_EQ(read_, (std::vector<std::string>{"CERT_FLAGS", "CERT_SUBJECT", "CERT_SERVER_SUBJECT",
                                               "CERT_ISSUER", "CERT_SERIALNUMBER"}));
    EXPECT_EQ(sizes_, std::vector<DWORD>(5, 1023));
    EXPECT_EQ(flags_, std::vector<std::string>{"1"});
}

TEST_F(ClientCertificateTest, NoSubjectMeansNoServerSubjectAndEmptyFlagsNoReport) {
    Build({{"CERT_FLAGS", ""}});
    EXPECT_EQ(read_, (std::vector<std::string>{"CERT_FLAGS", "CERT_SUBJECT", "CERT_ISSUER",
                                               "CERT_SERIALNUMBER"}));
    EXPECT_TRUE(flags_.empty());
}

TEST_F(ClientCertificateTest, EachVariableAddsItsTag) {
    const struct {
        Variables values;
        std::string descriptor;
    } kCases[] = {
        {{{"CERT_SUBJECT", "C=DE, CN=one"},
          {"CERT_SERVER_SUBJECT", "CN=srv"},
          {"CERT_ISSUER", "CN=Root"},
          {"CERT_SERIALNUMBER", kSerial}},
         "&DN#C=DE, CN=one CN=srv&IN#CN=Root" + kReversed + "&END&"},
        {{}, "&END&"},
        {{{"CERT_SUBJECT", ""},
          {"CERT_SERVER_SUBJECT", "S"},
          {"CERT_ISSUER", ""},
          {"CERT_SERIALNUMBER", ""}},
         "&END&"},  // a TLS request without a client certificate
        {{{"CERT_SERVER_SUBJECT", "server"}, {"CERT_ISSUER", "issuer"}}, "&IN#issuer&END&"},
        {{{"CERT_SUBJECT", "subject"}, {"CERT_SERIALNUMBER", kSerial}},
         "&DN#subject" + kReversed + "&END&"},
        {{{"CERT_SUBJECT", kLongest}, {"CERT_SERVER_SUBJECT", kLongest}, {"CERT_ISSUER", kLongest}},
         "&DN#" + kLongest + " " + kLongest + "&IN#" + kLongest + "&END&"},
        {{{"CERT_ISSUER", kLongest + "i"}}, "&END&"},  // too long to be read
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(Build(c.values), c.descriptor);
    }
}

TEST_F(ClientCertificateTest, AShortSerialGivesTheGroupsItHoldsAndNothingBeyondIt) {
    const struct {
        std::string serial;
        std::string descriptor;
    } kCases[] = {
        {"01-02-0", "&SN#00201"},
        {"ab", "&SN#ab"},
        {kSerial.substr(0, 46), "&SN#10f0e0d0c0b0a090807060504030201"},  // last group cut to "1"
        {kSerial + "-ff", kReversed},                                    // beyond 47: not looked at
    };
    for (const auto& c : kCases) {
        EXPECT_EQ(Build({{"CERT_ISSUER", kIssuer}, {"CERT_SERIALNUMBER", c.serial}}),
                  "&IN#" + kIssuer + c.descriptor + "&END&")
            << c.serial;
    }
}

}  // namespace
}  // namespace brevant::common
