#include "native/adapter/request_relay.h"
#include "native/adapter/request_relay_internal.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "native/common/bounded_text.h"
#include "native/common/client_certificate.h"
#include "native/common/basics/owned_handles.h"
#include "native/adapter/debug_output.h"
#include "native/common/server_variable.h"

namespace brevant::adapter {

using common::BoundedText;
using common::readServerVariable;

namespace {

constexpr size_t kHeadVariableSize = 5120;  // passed whole
constexpr size_t kAddlInfoVariableSize = 256;
constexpr DWORD kAddlInfoSizePassed = 255;
constexpr size_t kAddlInfoSize = 4096;
constexpr size_t kRelayPieceSize = 4096;  // response data and request body alike

constexpr unsigned char kResponseData = 0;
constexpr unsigned char kReadRequestBody = 1;
constexpr unsigned char kClientCertificate = 2;
constexpr unsigned char kExchangeEnd = 3;  // with the flag byte; only when the head announced it

constexpr std::string_view kAllHttpPrefix = "HTTP_";
constexpr std::string_view kFilterHeaderPrefix = "X-BREVANT-";

// Keeps the error of a failed server-variable read across the diagnostic, for the page
// that HttpExtensionProc shows.
bool failWith(const char* message) {
    LastErrorKeeper keeper;
    debugOut(message);
    return false;
}

// "HTTP_ACCEPT_LANGUAGE:de\n..." becomes "ACCEPT-LANGUAGE: de\r\n...": the name as IIS
// spells it, with "-" back for "_".
void appendHeaderLines(std::string& head, std::string_view allHttp) {
    while (!allHttp.empty()) {
        size_t end = allHttp.find('\n');
        std::string_view entry = allHttp.substr(0, end);
        allHttp = end == std::string_view::npos ? std::string_view() : allHttp.substr(end + 1);

        if (entry.substr(0, kAllHttpPrefix.size()) == kAllHttpPrefix) {
            entry.remove_prefix(kAllHttpPrefix.size());
        }
        size_t colon = entry.find(':');
        if (colon == std::string_view::npos) {
            continue;  // not a header entry
        }
        std::string name(entry.substr(0, colon));
        for (char& c : name) {
            if (c == '_') {
                c = '-';
            }
        }
        if (name.compare(0, kFilterHeaderPrefix.size(), kFilterHeaderPrefix) == 0) {
            continue;  // the filter's own markers: the instance has them in the request line
        }
        head += name;
        head += ": ";
        head += entry.substr(colon + 1);
        head += "\r\n";
    }
}

// Command 0: `length` bytes of response, relayed to the client piece by piece as they
// arrive. False when the exchange cannot go on.
bool relayResponseData(InstanceConnection& connection, EXTENSION_CONTROL_BLOCK* ecb,
                       uint32_t length, std::span<char> piece, bool& responseStarted) {
    uint32_t relayed = 0;
    while (relayed < length) {
        uint32_t wanted = static_cast<uint32_t>(std::min<size_t>(length - relayed, piece.size()));
        int received = connection.receiveSome(piece.data(), wanted);
        if (received <= 0) {
            return false;
        }
        if (!responseStarted) {
            recordStatusCode(ecb, piece.data(), static_cast<size_t>(received));
        }
        // The piece goes out whole: what was taken off the connection is what was relayed,
        // so the next command starts where the instance put it.
        DWORD written = 0;
        while (written < static_cast<DWORD>(received)) {
            DWORD count = static_cast<DWORD>(received) - written;
            if (!ecb->WriteClient(ecb->ConnID, piece.data() + written, &count, HSE_IO_SYNC) ||
                count == 0) {
                return false;
            }
            responseStarted = true;
            written += count;
        }
        relayed += static_cast<uint32_t>(received);
    }
    return true;
}

// A variable of the request head, read whole: first into the fixed buffer with its fixed
// size, and when IIS says it is longer, again with the size it asks for, so that a long URL
// or many headers reach the instance instead of being dropped.
std::optional<std::string> readHeadVariable(EXTENSION_CONTROL_BLOCK* ecb, const char* name,
                                            char* buffer, size_t bufferSize) {
    auto value = readServerVariable(ecb, name, buffer, bufferSize, static_cast<DWORD>(bufferSize));
    if (value) {
        return std::string(*value);
    }
    DWORD needed = 0;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER ||
        ecb->GetServerVariable(ecb->ConnID, const_cast<LPSTR>(name), nullptr, &needed) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= bufferSize) {
        return std::nullopt;
    }
    std::string large(needed, '\0');
    value = readServerVariable(ecb, name, large.data(), large.size(), needed);
    if (!value) {
        return std::nullopt;
    }
    return std::string(*value);
}

// Reads `count` bytes of request body from the client and sends them on as they come.
// False when the client's data ended or a read failed first.
bool relayRequestBody(InstanceConnection& connection, EXTENSION_CONTROL_BLOCK* ecb, uint32_t count,
                      std::span<char> piece) {
    while (count > 0) {
        DWORD wanted = static_cast<DWORD>(std::min<size_t>(count, piece.size()));
        DWORD read = wanted;
        if (!ecb->ReadClient(ecb->ConnID, piece.data(), &read) || read == 0) {
            return false;  // the client has gone or its body has ended
        }
        if (read > wanted) {
            read = wanted;
        }
        connection.sendAll(piece.data(), read);  // a broken connection shows at the next receive
        count -= read;
    }
    return true;
}

// Sends the client-certificate descriptor's characters, without length or terminator.
bool sendClientCertificate(InstanceConnection& connection, EXTENSION_CONTROL_BLOCK* ecb) {
    char descriptor[common::kCertificateDescriptorSize];
    size_t length = common::buildClientCertificate(
        [ecb](const char* name, char* buffer, DWORD* size) {
            return ecb->GetServerVariable(ecb->ConnID, const_cast<LPSTR>(name), buffer, size) !=
                   FALSE;
        },
        [](const char* flags) { debugOutf("CERT_FLAGS=%s", flags); }, descriptor);
    return connection.sendAll(descriptor, length);
}

}  // namespace

bool readRequestHeader(EXTENSION_CONTROL_BLOCK* ecb, bool announceExchange, RequestBytes* request) {
    char value[kHeadVariableSize];
    // Grows as needed: a long URL with many headers is sent whole.
    std::string& head = request->head;

    auto method = readServerVariable(ecb, "REQUEST_METHOD", value, sizeof value, sizeof value);
    if (!method) {
        return failWith("BrevantISAPIAdapter::sendRequestHeader() failed to get REQUEST_METHOD.\n");
    }
    request->method = *method;
    head += *method;
    head += ' ';

    auto url = readHeadVariable(ecb, "HTTP_X_BREVANT_REQUEST", value, sizeof value);
    if (!url) {
        return failWith(
            "BrevantISAPIAdapter::sendRequestHeader() failed to get HTTP_X_BREVANT_REQUEST.\n");
    }
    head += *url;
    head += ' ';

    auto protocol = readServerVariable(ecb, "SERVER_PROTOCOL", value, sizeof value, sizeof value);
    if (protocol) {
        head += *protocol;
        head += "\r\n";
    } else {
        debugOut("BrevantISAPIAdapter::sendRequestHeader() failed to get SERVER_PROTOCOL.\n");
        head += "HTTP/1.0\r\n";
    }

    auto allHttp = readHeadVariable(ecb, "ALL_HTTP", value, sizeof value);
    if (allHttp) {
        appendHeaderLines(head, *allHttp);
    } else {
        debugOut("BrevantISAPIAdapter::sendRequestHeader() failed to get ALL_HTTP.\n");
    }
    if (announceExchange) {
        // Last, so that the instance meets it after every header it already knows.
        head += "X-BREVANT-EXCHANGE: 1; preloaded=" + std::to_string(preloadedCount(ecb)) + "\r\n";
    }
    head += "\r\n";
    return true;
}

void readAddlInfo(EXTENSION_CONTROL_BLOCK* ecb, RequestBytes* request) {
    struct Line {
        const char* variable;
        const char* fallback;
        const char* message;
    };
    static constexpr Line kLines[] = {
        {"REMOTE_ADDR", "127.0.0.1",
         "BrevantISAPIAdapter::sendAddlInfo() failed to get REMOTE_ADDR.\n"},
        {"REMOTE_HOST", "127.0.0.1",
         "BrevantISAPIAdapter::sendAddlInfo() failed to get REMOTE_HOST.\n"},
        {"SERVER_NAME", "127.0.0.1",
         "BrevantISAPIAdapter::sendAddlInfo() failed to get SERVER_NAME.\n"},
        {"SERVER_PORT", "80", "BrevantISAPIAdapter::sendAddlInfo() failed to get SERVER_PORT.\n"},
        {"SERVER_SOFTWARE", "BrevantAS",
         "BrevantISAPIAdapter::sendAddlInfo() failed to get SERVER_SOFTWARE.\n"},
    };

    char value[kAddlInfoVariableSize];
    char block[kAddlInfoSize];
    BoundedText text(block, sizeof block);
    for (const Line& line : kLines) {
        auto found =
            readServerVariable(ecb, line.variable, value, sizeof value, kAddlInfoSizePassed);
        if (found) {
            text.append(*found);
        } else {
            debugOut(line.message);
            text.append(line.fallback);
        }
        text.append("\r\n");
    }

    auto secure =
        readServerVariable(ecb, "SERVER_PORT_SECURE", value, sizeof value, kAddlInfoSizePassed);
    if (!secure) {
        debugOut("BrevantISAPIAdapter::sendAddlInfo() failed to get SERVER_PORT_SECURE.\n");
    }
    text.append(secure && *secure == "1" ? "true\r\n" : "false\r\n");
    text.append("\r\n");
    request->addlInfo.assign(text.data(), text.length());
}

DWORD preloadedCount(const EXTENSION_CONTROL_BLOCK* ecb) {
    bool preloaded = ecb->cbTotalBytes != 0 && ecb->cbAvailable != 0 && ecb->lpbData != nullptr;
    return preloaded ? ecb->cbAvailable : 0;
}

void sendRequest(InstanceConnection& connection, const RequestBytes& request,
                 EXTENSION_CONTROL_BLOCK* ecb) {
    DWORD preloaded = preloadedCount(ecb);
    size_t total = request.head.size() + request.addlInfo.size() + preloaded;
    char* gathered = connection.keptBuffer();
    if (gathered != nullptr && total <= kKeptPieceSize) {
        // One send, one segment where it fits: the instance starts on the whole request.
        std::memcpy(gathered, request.head.data(), request.head.size());
        std::memcpy(gathered + request.head.size(), request.addlInfo.data(),
                    request.addlInfo.size());
        if (preloaded != 0) {
            std::memcpy(gathered + request.head.size() + request.addlInfo.size(), ecb->lpbData,
                        preloaded);
        }
        connection.sendAll(gathered, total);
        return;
    }
    connection.sendAll(request.head.data(), request.head.size());
    connection.sendAll(request.addlInfo.data(), request.addlInfo.size());
    if (preloaded != 0) {
        connection.sendAll(ecb->lpbData, preloaded);
    }
}

ExchangeEnd serveCommands(InstanceConnection& connection, EXTENSION_CONTROL_BLOCK* ecb,
                          bool exchangeExtension) {
    char small[kRelayPieceSize];
    std::span<char> piece = connection.keptBuffer() != nullptr
                                ? std::span<char>(connection.keptBuffer(), kKeptPieceSize)
                                : std::span<char>(small);
    // Until bytes reach the client, the first piece received tells the status.
    ExchangeEnd end;
    for (;;) {
        unsigned char command = 0;
        if (connection.receiveSome(&command, 1) != 1) {
            return end;  // the instance has closed the connection (or it broke)
        }
        end.answered = true;
        uint32_t operand = 0;
        unsigned char flag = 0;
        switch (command) {
            case kResponseData:
                if (!connection.receiveUint32(&operand) ||
                    !relayResponseData(connection, ecb, operand, piece, end.responseStarted)) {
                    return end;
                }
                break;
            case kReadRequestBody:
                if (!connection.receiveUint32(&operand) ||
                    !relayRequestBody(connection, ecb, operand, piece)) {
                    return end;  // the instance would wait for bytes that never come
                }
                break;
            case kClientCertificate:
                sendClientCertificate(connection, ecb);
                break;
            case kExchangeEnd:
                if (exchangeExtension) {
                    end.kept = connection.receiveExact(&flag, 1);
                    end.keepClient = end.kept && (flag & 1) != 0;
                    return end;
                }
                [[fallthrough]];
            default:
                debugOut("Received unknown command from Brevant.\n");
                return end;
        }
    }
}

void recordStatusCode(EXTENSION_CONTROL_BLOCK* ecb, const char* data, size_t length) {
    std::string_view piece(data, length);
    size_t space = piece.find(' ');
    constexpr size_t kStatusDigits = 3;
    if (space == std::string_view::npos || length - space - 1 < kStatusDigits) {
        return;
    }
    DWORD status = 0;
    for (char c : piece.substr(space + 1, kStatusDigits)) {
        if (c < '0' || c > '9') {
            break;
        }
        status = status * 10 + static_cast<DWORD>(c - '0');
    }
    if (status > 0) {
        ecb->dwHttpStatusCode = status;
    }
}

}  // namespace brevant::adapter
