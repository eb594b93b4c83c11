// What IIS hands a filter, without IIS: an HTTP_FILTER_CONTEXT with the preprocessing and
// log notification records, whose services work on a request held here, behave as IIS
// documents them (sizes, ERROR_INSUFFICIENT_BUFFER, an empty SetHeader value removing the
// header) and record every call in order. Failures are injected per header or variable
// name. One request, one test thread.
#ifndef TESTS_SUPPORT_FAKE_FILTER_CONTEXT_H
#define TESTS_SUPPORT_FAKE_FILTER_CONTEXT_H

#include <windows.h>
#include <httpfilt.h>

#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

class FakeFilterContext {
  public:
    FakeFilterContext() {
        context_.cbSize = sizeof context_;
        context_.Revision = HTTP_FILTER_REVISION;
        context_.ServerContext = this;
        context_.GetServerVariable = &getServerVariable;
        context_.WriteClient = &writeClient;
        context_.AllocMem = &allocMem;
        context_.ServerSupportFunction = &serverSupportFunction;
        preproc_.GetHeader = &getHeader;
        preproc_.SetHeader = &setHeader;
        preproc_.AddHeader = &addHeader;
        log_.pszTarget = "/Scripts/Brevant_Adapter.dll";
        log_.pszParameters = "";
    }
    FakeFilterContext(const FakeFilterContext&) = delete;
    FakeFilterContext& operator=(const FakeFilterContext&) = delete;

    HTTP_FILTER_CONTEXT* pfc() { return &context_; }
    HTTP_FILTER_PREPROC_HEADERS* preproc() { return &preproc_; }
    HTTP_FILTER_LOG* logRecord() { return &log_; }

    // ---- the request as IIS holds it --------------------------------------------------
    std::string url = "/";
    std::vector<std::pair<std::string, std::string>> headers;    // name without ":"
    std::vector<std::pair<std::string, std::string>> variables;  // server variables

    // The value of a request header, matched as IIS matches names.
    std::optional<std::string> header(const std::string& name) const {
        for (const auto& [present, value] : headers) {
            if (sameHeader(present, name)) {
                return value;
            }
        }
        return std::nullopt;
    }

    // ---- what the filter did ---------------------------------------------------------
    // "GetHeader(URL, 4096)", "SetHeader(URL, /x)", "AddHeader(X-Brevant-Group:, 3)",
    // "GetServerVariable(HTTP_USER_AGENT, 255)", "AllocMem(5)",
    // "ServerSupportFunction(0, <status>, <headers>, 0)", "WriteClient(<length>, <flags>)"
    std::vector<std::string> calls;
    std::string written;  // the bytes of every WriteClient

    // ---- failures --------------------------------------------------------------------
    // "GetHeader URL", "SetHeader URL", "AddHeader X-Brevant-Group:",
    // "GetServerVariable HTTP_USER_AGENT": these calls fail.
    std::set<std::string> failing;
    bool failResponseHeader = false;
    int allocationsLeft = -1;               // AllocMem fails once this reaches 0; -1: never
    std::function<void()> beforeGetHeader;  // runs first in every GetHeader (may throw)

  private:
    static FakeFilterContext& of(HTTP_FILTER_CONTEXT* pfc) {
        return *static_cast<FakeFilterContext*>(pfc->ServerContext);
    }

    static std::string headerKey(std::string name) {
        if (!name.empty() && name.back() == ':') {
            name.pop_back();
        }
        for (char& c : name) {
            c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        }
        return name;
    }
    static bool sameHeader(const std::string& a, const std::string& b) {
        return headerKey(a) == headerKey(b);
    }

    // As IIS copies a value out: with its NUL, or not at all when it does not fit.
    static BOOL copyOut(const std::string& value, LPVOID buffer, LPDWORD size) {
        if (value.size() + 1 > *size) {
            *size = static_cast<DWORD>(value.size() + 1);
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return FALSE;
        }
        std::memcpy(buffer, value.c_str(), value.size() + 1);
        *size = static_cast<DWORD>(value.size() + 1);
        return TRUE;
    }

    bool fails(const char* service, const char* name) {
        if (failing.count(std::string(service) + " " + name) == 0) {
            return false;
        }
        SetLastError(ERROR_INVALID_PARAMETER);
        return true;
    }

    static BOOL WINAPI getHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPVOID buffer,
                                 LPDWORD size) {
        FakeFilterContext& fake = of(pfc);
        if (fake.beforeGetHeader) {
            fake.beforeGetHeader();
        }
        fake.calls.push_back(std::string("GetHeader(") + name + ", " + std::to_string(*size) + ")");
        if (fake.fails("GetHeader", name)) {
            return FALSE;
        }
        if (std::strcmp(name, "URL") == 0) {
            return copyOut(fake.url, buffer, size);
        }
        std::optional<std::string> value = fake.header(name);
        if (!value) {
            SetLastError(ERROR_INVALID_INDEX);
            return FALSE;
        }
        return copyOut(*value, buffer, size);
    }

    static BOOL WINAPI setHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPSTR value) {
        FakeFilterContext& fake = of(pfc);
        fake.calls.push_back(std::string("SetHeader(") + name + ", " + value + ")");
        if (fake.fails("SetHeader", name)) {
            return FALSE;
        }
        if (std::strcmp(name, "URL") == 0) {
            fake.url = value;
            return TRUE;
        }
        auto& all = fake.headers;
        bool replaced = false;
        for (auto it = all.begin(); it != all.end();) {
            if (!sameHeader(it->first, name)) {
                ++it;
            } else if (value[0] != '\0' && !replaced) {
                it->second = value;
                replaced = true;
                ++it;
            } else {
                it = all.erase(it);
            }
        }
        if (value[0] != '\0' && !replaced) {
            all.emplace_back(headerKeyAsWritten(name), value);
        }
        return TRUE;
    }

    static BOOL WINAPI addHeader(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPSTR value) {
        FakeFilterContext& fake = of(pfc);
        fake.calls.push_back(std::string("AddHeader(") + name + ", " + value + ")");
        if (fake.fails("AddHeader", name)) {
            return FALSE;
        }
        for (auto& [present, presentValue] : fake.headers) {
            if (sameHeader(present, name)) {
                presentValue += std::string(", ") + value;  // as repeated headers combine
                return TRUE;
            }
        }
        fake.headers.emplace_back(headerKeyAsWritten(name), value);
        return TRUE;
    }

    static std::string headerKeyAsWritten(std::string name) {
        if (!name.empty() && name.back() == ':') {
            name.pop_back();
        }
        return name;
    }

    static BOOL WINAPI getServerVariable(HTTP_FILTER_CONTEXT* pfc, LPSTR name, LPVOID buffer,
                                         LPDWORD size) {
        FakeFilterContext& fake = of(pfc);
        fake.calls.push_back(std::string("GetServerVariable(") + name + ", " +
                             std::to_string(*size) + ")");
        if (fake.fails("GetServerVariable", name)) {
            return FALSE;
        }
        for (const auto& [present, value] : fake.variables) {
            if (present == name) {
                return copyOut(value, buffer, size);
            }
        }
        SetLastError(ERROR_INVALID_INDEX);
        return FALSE;
    }

    static BOOL WINAPI writeClient(HTTP_FILTER_CONTEXT* pfc, LPVOID buffer, LPDWORD bytes,
                                   DWORD reserved) {
        FakeFilterContext& fake = of(pfc);
        fake.calls.push_back("WriteClient(" + std::to_string(*bytes) + ", " +
                             std::to_string(reserved) + ")");
        fake.written.append(static_cast<const char*>(buffer), *bytes);
        return TRUE;
    }

    static VOID* WINAPI allocMem(HTTP_FILTER_CONTEXT* pfc, DWORD size, DWORD /*reserved*/) {
        FakeFilterContext& fake = of(pfc);
        fake.calls.push_back("AllocMem(" + std::to_string(size) + ")");
        if (fake.allocationsLeft == 0) {
            return nullptr;
        }
        if (fake.allocationsLeft > 0) {
            --fake.allocationsLeft;
        }
        fake.allocations_.push_back(std::make_unique<char[]>(size));
        return fake.allocations_.back().get();
    }

    static BOOL WINAPI serverSupportFunction(HTTP_FILTER_CONTEXT* pfc, enum SF_REQ_TYPE request,
                                             PVOID data, ULONG_PTR ul1, ULONG_PTR ul2) {
        FakeFilterContext& fake = of(pfc);
        const char* status = static_cast<const char*>(data);
        const char* headers = reinterpret_cast<const char*>(ul1);
        fake.calls.push_back("ServerSupportFunction(" + std::to_string(request) + ", " +
                             (status != nullptr ? status : "<none>") + ", " +
                             (headers != nullptr ? headers : "<none>") + ", " +
                             std::to_string(ul2) + ")");
        return fake.failResponseHeader ? FALSE : TRUE;
    }

    HTTP_FILTER_CONTEXT context_{};
    HTTP_FILTER_PREPROC_HEADERS preproc_{};
    HTTP_FILTER_LOG log_{};
    std::vector<std::unique_ptr<char[]>> allocations_;  // IIS frees them with the request
};

}  // namespace testsupport

#endif  // TESTS_SUPPORT_FAKE_FILTER_CONTEXT_H
