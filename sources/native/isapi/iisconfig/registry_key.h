// A key of HKEY_LOCAL_MACHINE opened for reading (KEY_READ) by the server-settings lookups
// that read older IIS's registry entries, closed when the holder goes.
//
// Used on the thread that loads the filter; a holder belongs to one thread and cannot be
// copied.
#ifndef BREVANT_ISAPI_IISCONFIG_REGISTRY_KEY_H
#define BREVANT_ISAPI_IISCONFIG_REGISTRY_KEY_H

#include <windows.h>

#include <string>

namespace brevant::isapi::iisconfig {

class RegistryKey {
  public:
    RegistryKey() = default;
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens HKEY_LOCAL_MACHINE\<path>; false when it does not open.
    // REQUIRES: no key is open yet.
    bool open(const char* path);

    // REQUIRES: open() succeeded.
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

}  // namespace brevant::isapi::iisconfig

#endif  // BREVANT_ISAPI_IISCONFIG_REGISTRY_KEY_H
