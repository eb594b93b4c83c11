// The request every case serves, as a current browser sends it: its headers for the filter
// contexts, and the same headers as IIS lists them in ALL_HTTP for the control blocks.
#ifndef BENCH_MICRO_TYPICAL_REQUEST_H
#define BENCH_MICRO_TYPICAL_REQUEST_H

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "fake_filter_context.h"

namespace bench {

constexpr char kServletUrl[] = "/servlet/Hello";
constexpr char kStaticUrl[] = "/index.html";
constexpr char kQueryString[] = "name=World&lang=en";

// Name (without ":") and value, in the order the browser sends them.
std::vector<std::pair<std::string, std::string>> browserHeaders();

// "HTTP_HOST:www.example.com\nHTTP_USER_AGENT:...\n": names in upper case, "_" for "-".
std::string browserAllHttp();

// A filter context holding the browser's request, made ready for the next notification by
// forRequest, which takes back what the last one added or rewrote without new allocations
// where the fake allows it.
class BrowserFilterContext {
  public:
    BrowserFilterContext();

    // The context with the browser's headers and `url`, and an empty call record.
    testsupport::FakeFilterContext& forRequest(const char* url);

    const testsupport::FakeFilterContext& fake() const { return fake_; }
    // The notification left the request alone: `url` unchanged, no header added.
    bool untouched(const char* url) const;

  private:
    testsupport::FakeFilterContext fake_;
    size_t headerCount_;
};

}  // namespace bench

#endif  // BENCH_MICRO_TYPICAL_REQUEST_H
