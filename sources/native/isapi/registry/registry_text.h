// Reading the registry as the connector does (the install home, Java installations, older
// IIS's settings): an open key of HKEY_LOCAL_MACHINE that closes itself, and a value read
// as text. Used on the thread that starts the engine bridge; a holder belongs to one thread
// at a time.
#ifndef BREVANT_ISAPI_REGISTRY_REGISTRY_TEXT_H
#define BREVANT_ISAPI_REGISTRY_REGISTRY_TEXT_H

#include <windows.h>

#include <string>

namespace brevant::isapi {

// Owns one open registry key and closes it when it goes. Not copyable.
class RegistryKey {
  public:
    RegistryKey() = default;
    ~RegistryKey();
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens HKEY_LOCAL_MACHINE\<path> with KEY_READ; false when it does not open.
    // REQUIRES: no key is open yet.
    bool open(const std::string& path);

    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

enum class RegistryTextResult {
    kRead,     // the text was read
    kNoSize,   // the value's size could not be had: no such value
    kNotRead,  // the size was had but the value could not be read
};

// Reads the value `name` of `key` as text: its size first, then the value into size + 1
// bytes ending in a NUL whatever the value holds, so that a string stored without its
// terminator, or a binary value, is never read past its end. The text is the value up to
// its first NUL; the value's type is not examined. *text is changed only on kRead.
RegistryTextResult readRegistryText(HKEY key, const char* name, std::string* text);

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_REGISTRY_REGISTRY_TEXT_H
