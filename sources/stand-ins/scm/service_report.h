// What scctl prints: a service's status in the layout of `sc query`, and Win32 error codes
// with their system texts. Stateless.
#ifndef STANDIN_SCM_SERVICE_REPORT_H
#define STANDIN_SCM_SERVICE_REPORT_H

#include <windows.h>

#include <string>

namespace scctl {

// The block `sc query NAME` prints, from the "SERVICE_NAME:" line to "WAIT_HINT", each line
// ending in "\n". The service-specific exit code is shown unsigned, as sc shows it (-4 is
// 4294967292).
std::string formatStatus(const std::string& name, const SERVICE_STATUS& status);

// "<function> FAILED <code>:\n\n<text>\n" as sc reports a failed call.
std::string formatFailure(const char* function, DWORD error);

}  // namespace scctl

#endif  // STANDIN_SCM_SERVICE_REPORT_H
