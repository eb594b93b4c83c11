// The request every case serves, as a current browser sends it: its headers for the filter
// contexts, and the same headers as IIS lists them in ALL_HTTP for the control blocks.
#ifndef BENCH_MICRO_TYPICAL_REQUEST_H
#define BENCH_MICRO_TYPICAL_REQUEST_H

#include <string>
#include <utility>
#include <vector>

namespace bench {

constexpr char kServletUrl[] = "/servlet/Hello";
constexpr char kStaticUrl[] = "/index.html";
constexpr char kQueryString[] = "name=World&lang=en";

// Name (without ":") and value, in the order the browser sends them.
std::vector<std::pair<std::string, std::string>> browserHeaders();

// "HTTP_HOST:www.example.com\nHTTP_USER_AGENT:...\n": names in upper case, "_" for "-".
std::string browserAllHttp();

}  // namespace bench

#endif  // BENCH_MICRO_TYPICAL_REQUEST_H
