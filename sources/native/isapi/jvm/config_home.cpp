// The install home from the registry, and the directories named after it.
//
// Registry failures go to the debugger output only: the native log is itself placed in
// the home, so there may be no log to write to yet.
#include <windows.h>

#include <string>
#include <vector>

#include "configuration.h"
#include "isapi_platform.h"

namespace brevant::isapi {

namespace {

constexpr char kHomeKey[] = "SOFTWARE\\Orlena\\Brevant ISAPI";
constexpr char kHomeValue[] = "Home";

// Closes the key on every way out of getHomeDirectory.
class OpenRegistryKey {
  public:
    OpenRegistryKey() = default;
    ~OpenRegistryKey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
    }
    OpenRegistryKey(const OpenRegistryKey&) = delete;
    OpenRegistryKey& operator=(const OpenRegistryKey&) = delete;

    PHKEY out() { return &key_; }
    HKEY get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

void sendToDebugger(const char* text) {
    OutputDebugStringA(text);
    OutputDebugStringA(kHomeKey);
    OutputDebugStringA("\n");
}

}  // namespace

std::string getHomeDirectory() {
    OpenRegistryKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kHomeKey, 0, KEY_READ, key.out()) != ERROR_SUCCESS) {
        sendToDebugger("Failed to open key: ");
        return kDefaultHome;
    }
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), kHomeValue, nullptr, nullptr, nullptr, &size) !=
        ERROR_SUCCESS) {
        sendToDebugger("Failed to get Home value for key: ");
        return kDefaultHome;
    }
    // One byte more than the value and zero-filled: a value stored without its NUL, or
    // not as text at all, still ends inside the buffer.
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    DWORD filled = size;
    if (RegQueryValueExA(key.get(), kHomeValue, nullptr, nullptr,
                         reinterpret_cast<LPBYTE>(buffer.data()), &filled) != ERROR_SUCCESS) {
        return kDefaultHome;
    }
    return std::string(buffer.data());
}

std::string getDataDirectory() {
    return getHomeDirectory() + kPathSeparator + "Brevant" + " Data";
}

std::string getServletsDirectory() {
    return getHomeDirectory() + kPathSeparator + "Servlets";
}

}  // namespace brevant::isapi
