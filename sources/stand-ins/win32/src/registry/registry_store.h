// HKEY_LOCAL_MACHINE as kept in the REGEDIT4 file named by STANDIN_REGISTRY, which several
// processes read and write as SharedTextFile shares it; while the variable is unset the
// registry is empty and read-only.
//
// Owns the parsed copy of the file, through its SharedTextFile. Any thread may call. One
// mutex serialises the calls of the process, callbacks included.
#ifndef STANDIN_WIN32_REGISTRY_REGISTRY_STORE_H
#define STANDIN_WIN32_REGISTRY_REGISTRY_STORE_H

#include <functional>

#include "stand-ins/win32/src/registry/registry_tree.h"
#include "stand-ins/win32/src/shared_text_file.h"

namespace standin::registry {

class RegistryStore {
  public:
    // Looks at the registry; lastWrite is when the file was last written, zero when there
    // is no file.
    using Reader = std::function<LONG(const RegistryKey& root, const FILETIME& lastWrite)>;
    // Changes the registry and returns ERROR_SUCCESS, or returns an error code having
    // changed nothing.
    using Writer = std::function<LONG(RegistryKey& root)>;

    static RegistryStore& instance();

    // The reader's result, or the error that kept the file from being read.
    LONG read(const Reader& reader);

    // The writer's result once its change is in the file, or the error that kept it out.
    // When the registry is read-only, a writer that would change something gets
    // ERROR_ACCESS_DENIED, and one that fails keeps its own error.
    LONG write(const Writer& writer);

  private:
    RegistryStore();

    SharedTextFile<RegistryKey> file_;
};

}  // namespace standin::registry

#endif  // STANDIN_WIN32_REGISTRY_REGISTRY_STORE_H
