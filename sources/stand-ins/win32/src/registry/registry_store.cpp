#include "stand-ins/win32/src/registry/registry_store.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "stand-ins/win32/src/registry/regedit4_format.h"

namespace standin::registry {

namespace {

FILETIME lastWriteTime(std::optional<int64_t> modifiedNs) {
    if (!modifiedNs) {
        return FILETIME{};
    }
    // FILETIME counts 100 ns steps from 1601-01-01, 11644473600 s before the Unix epoch.
    uint64_t ticks = uint64_t(*modifiedNs / 100) + uint64_t(11644473600) * 10000000;
    return FILETIME{DWORD(ticks), DWORD(ticks >> 32)};
}

}  // namespace

RegistryStore::RegistryStore()
    : file_(
          "STANDIN_REGISTRY", [] { return RegistryKey{std::string(kRootName)}; },
          [](const std::string&, std::string_view text) { return parseRegedit4(text); },
          formatRegedit4) {}

RegistryStore& RegistryStore::instance() {
    // Never destroyed: threads may still use the registry while the process exits.
    static RegistryStore* store = new RegistryStore();
    return *store;
}

LONG RegistryStore::read(const Reader& reader) {
    LONG result = ERROR_SUCCESS;
    DWORD error = file_.read([&](const RegistryKey& root, std::optional<int64_t> modifiedNs) {
        result = reader(root, lastWriteTime(modifiedNs));
    });
    return error != ERROR_SUCCESS ? LONG(error) : result;
}

LONG RegistryStore::write(const Writer& writer) {
    LONG result = ERROR_SUCCESS;
    DWORD error = file_.write([&](RegistryKey& root) {
        result = writer(root);
        return result == ERROR_SUCCESS;
    });
    return error != ERROR_SUCCESS ? LONG(error) : result;
}

}  // namespace standin::registry
