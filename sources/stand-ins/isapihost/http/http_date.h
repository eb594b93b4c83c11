// Dates in the form HTTP headers carry them (RFC 1123, always GMT):
// "Sun, 06 Nov 1994 08:49:37 GMT".
// Thread safety: all functions may be called from any thread.
#ifndef ISAPIHOST_HTTP_HTTP_DATE_H
#define ISAPIHOST_HTTP_HTTP_DATE_H

#include <ctime>
#include <string>

namespace isapihost {

std::string httpDate(time_t when);

// The current time as httpDate() writes it; formatted at most once a second per thread,
// as every response carries it.
const std::string& httpDateNow();

// Reads an RFC 1123, RFC 850 or asctime date, the three forms clients send in
// If-Modified-Since; anything after the date (IE's "; length=...") is ignored.
bool parseHttpDate(const std::string& text, time_t* when);

}  // namespace isapihost

#endif  // ISAPIHOST_HTTP_HTTP_DATE_H
