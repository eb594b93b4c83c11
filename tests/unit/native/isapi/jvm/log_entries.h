// The native log as the JVM host's tests read it: entries without their stamps, so that
// the messages can be compared byte for byte. An entry runs to the CR LF before the next
// stamp, because VM output may hold CR LF itself.
#ifndef TESTS_UNIT_NATIVE_ISAPI_JVM_LOG_ENTRIES_H
#define TESTS_UNIT_NATIVE_ISAPI_JVM_LOG_ENTRIES_H

#include <string>
#include <vector>

namespace vmtest {

// The entries of the log file at `path` after "Logging started"; a part that is not an
// entry ends the list with a "<<...>>" line that no expectation matches.
std::vector<std::string> nativeLogEntries(const std::string& path);

}  // namespace vmtest

#endif  // TESTS_UNIT_NATIVE_ISAPI_JVM_LOG_ENTRIES_H
