// What the native log's tests reach beyond native_log.h; no other code may use it.
#ifndef BREVANT_ISAPI_LOG_NATIVE_LOG_INTERNAL_H
#define BREVANT_ISAPI_LOG_NATIVE_LOG_INTERNAL_H

#include <windows.h>

#include <cstddef>

namespace brevant::isapi {

// Whether a process-wide log exists.
bool hasNativeLog();

// A stamp is 27 characters and its NUL.
constexpr std::size_t kTimestampSize = 28;

// Fills `stamp` with "[DDD Mon DD hh:mm:ss YYYY] " from the calendar fields of `time`;
// milliseconds are not shown. Used by the log for the local time; here so that the fields
// can be checked on a given time.
void formatTimestamp(const SYSTEMTIME& time, char (&stamp)[kTimestampSize]);

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_LOG_NATIVE_LOG_INTERNAL_H
