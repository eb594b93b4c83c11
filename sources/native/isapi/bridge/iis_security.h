// Whether the engine has switched IIS security on: then the filter asks the engine, for
// every authenticated request it routed, whether the user may reach the URL. Engine threads
// switch it through the native methods; filter threads read it. Atomic: no lock needed.
#ifndef BREVANT_ISAPI_BRIDGE_IIS_SECURITY_H
#define BREVANT_ISAPI_BRIDGE_IIS_SECURITY_H

#include <atomic>

namespace brevant::isapi {

extern std::atomic<bool> iisSecurityEnabled;

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_BRIDGE_IIS_SECURITY_H
