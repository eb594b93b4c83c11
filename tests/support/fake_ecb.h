// An EXTENSION_CONTROL_BLOCK for unit tests of HttpExtensionProc, standing in for IIS: server
// variables from a map (with IIS's size rules and errors), a preloaded body, ReadClient from
// a string that ends as a finished body (TRUE with 0 bytes) or as a client that has gone
// (FALSE), and a record of everything written to the client and of the response header.
//
// Used by the test's thread, which runs HttpExtensionProc; the fake instance runs elsewhere
// and never touches it.
#ifndef TESTS_SUPPORT_FAKE_ECB_H
#define TESTS_SUPPORT_FAKE_ECB_H

#include <windows.h>
#include <httpext.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {

class FakeEcb {
  public:
    enum class ClientEnd { EndOfBody, Fails };
    enum class Throw { Nothing, Standard, Unknown };

    struct ResponseHeader {
        DWORD request = 0;
        std::string status;
        DWORD size = 0;
        std::string headers;
    };

    FakeEcb() {
        ecb_.cbSize = sizeof ecb_;
        ecb_.dwVersion = MAKELONG(0, 6);
        ecb_.ConnID = this;
        ecb_.dwHttpStatusCode = 200;
        ecb_.GetServerVariable = &getServerVariable;
        ecb_.WriteClient = &writeClient;
        ecb_.ReadClient = &readClient;
        ecb_.ServerSupportFunction = &serverSupportFunction;
    }
    FakeEcb(const FakeEcb&) = delete;
    FakeEcb& operator=(const FakeEcb&) = delete;

    EXTENSION_CONTROL_BLOCK* get() { return &ecb_; }

    // The body: `preloaded` in lpbData, `rest` through ReadClient.
    void setBody(const std::string& preloaded, const std::string& rest) {
        preloaded_ = preloaded;
        clientBody = rest;
        ecb_.cbTotalBytes = static_cast<DWORD>(preloaded.size() + rest.size());
        ecb_.cbAvailable = static_cast<DWORD>(preloaded_.size());
        ecb_.lpbData = preloaded_.empty() ? nullptr : reinterpret_cast<LPBYTE>(&preloaded_[0]);
    }

    // Server variables; a name absent from the map is unknown to IIS.
    std::map<std::string, std::string> variables;
    std::set<std::string> zeroSize;  // succeed, but report a size of 0
    std::string throwOn;             // reading this variable throws `throwKind`
    Throw throwKind = Throw::Nothing;

    // HSE_REQ_MAP_URL_TO_PATH maps a path in place to pathRoot + path; fails without one.
    std::string pathRoot;

    std::string clientBody;  // what ReadClient delivers
    ClientEnd clientEnd = ClientEnd::EndOfBody;
    size_t readLimit = 0;      // at most this much per ReadClient call (0: no limit)
    int writeFailsAfter = -1;  // WriteClient calls that succeed before one fails (-1: all)
    size_t writeLimit = 0;     // at most this much per WriteClient call (0: no limit)

    // What the extension did.
    std::map<std::string, DWORD> sizesPassed;
    std::vector<DWORD> readSizes;  // the size of every ReadClient call
    std::vector<DWORD> writeFlags;
    std::string written;  // all bytes written to the client
    std::vector<ResponseHeader> responseHeaders;

  private:
    static FakeEcb* of(HCONN connection) { return static_cast<FakeEcb*>(connection); }

    static BOOL WINAPI getServerVariable(HCONN connection, LPSTR name, LPVOID buffer,
                                         LPDWORD size) {
        FakeEcb* self = of(connection);
        self->sizesPassed[name] = *size;
        if (self->throwOn == name && self->throwKind == Throw::Standard) {
            throw std::runtime_error("variable store exploded");
        }
        if (self->throwOn == name && self->throwKind == Throw::Unknown) {
            throw 42;
        }
        auto found = self->variables.find(name);
        if (found == self->variables.end()) {
            SetLastError(ERROR_INVALID_INDEX);
            return FALSE;
        }
        if (self->zeroSize.count(name) != 0) {
            *size = 0;
            return TRUE;
        }
        DWORD needed = static_cast<DWORD>(found->second.size() + 1);
        if (*size < needed) {
            *size = needed;
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memcpy(buffer, found->second.c_str(), needed);
        *size = needed;
        return TRUE;
    }

    static BOOL WINAPI writeClient(HCONN connection, LPVOID buffer, LPDWORD bytes, DWORD flags) {
        FakeEcb* self = of(connection);
        self->writeFlags.push_back(flags);
        if (self->writeFailsAfter == 0) {
            SetLastError(ERROR_NETNAME_DELETED);
            return FALSE;
        }
        if (self->writeFailsAfter > 0) {
            --self->writeFailsAfter;
        }
        DWORD count = *bytes;
        if (self->writeLimit != 0 && count > self->writeLimit) {
            count = static_cast<DWORD>(self->writeLimit);
        }
        self->written.append(static_cast<const char*>(buffer), count);
        *bytes = count;
        return TRUE;
    }

    static BOOL WINAPI readClient(HCONN connection, LPVOID buffer, LPDWORD size) {
        FakeEcb* self = of(connection);
        self->readSizes.push_back(*size);
        size_t count = std::min<size_t>(*size, self->clientBody.size() - self->readOffset_);
        if (self->readLimit != 0) {
            count = std::min(count, self->readLimit);
        }
        if (count == 0 && self->clientEnd == ClientEnd::Fails) {
            *size = 0;
            SetLastError(ERROR_NETNAME_DELETED);
            return FALSE;
        }
        std::memcpy(buffer, self->clientBody.data() + self->readOffset_, count);
        self->readOffset_ += count;
        *size = static_cast<DWORD>(count);
        return TRUE;
    }

    static BOOL WINAPI serverSupportFunction(HCONN connection, DWORD request, LPVOID buffer,
                                             LPDWORD size, LPDWORD dataType) {
        FakeEcb* self = of(connection);
        if (request == HSE_REQ_MAP_URL_TO_PATH) {
            std::string path = self->pathRoot + static_cast<const char*>(buffer);
            if (self->pathRoot.empty() || path.size() + 1 > *size) {
                SetLastError(ERROR_INSUFFICIENT_BUFFER);
                return FALSE;
            }
            std::memcpy(buffer, path.c_str(), path.size() + 1);
            *size = static_cast<DWORD>(path.size() + 1);
            return TRUE;
        }
        ResponseHeader header;
        header.request = request;
        header.status = buffer != nullptr ? static_cast<const char*>(buffer) : "(null)";
        header.size = size != nullptr ? *size : 0;
        header.headers = dataType != nullptr ? reinterpret_cast<const char*>(dataType) : "(null)";
        self->responseHeaders.push_back(header);
        return TRUE;
    }

    EXTENSION_CONTROL_BLOCK ecb_ = {};
    std::string preloaded_;
    size_t readOffset_ = 0;
};

}  // namespace testsupport

#endif  // TESTS_SUPPORT_FAKE_ECB_H
