// HKEY_LOCAL_MACHINE as kept in the REGEDIT4 file named by STANDIN_REGISTRY.
//
// Owns the parsed copy of that file, reused while the file keeps its identity (path,
// inode, modification time, size), and the protocol by which processes share the file: a
// reader holds a shared flock on "<file>.lock" while it reads the file, a writer holds an
// exclusive one from re-reading the file to replacing it. The writer replaces the file
// whole, by rename, so that nobody ever reads half of it. STANDIN_REGISTRY is read on every
// call, as tests change it; while it is unset the registry is empty and read-only.
//
// Any thread may call. One mutex serialises the calls of the process, callbacks included.
#ifndef STANDIN_WIN32_REGISTRY_REGISTRY_STORE_H
#define STANDIN_WIN32_REGISTRY_REGISTRY_STORE_H

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "registry/registry_tree.h"

struct stat;

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
    // Which version of the file the cached tree came from.
    struct FileIdentity {
        std::string path;
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        int64_t modifiedNs = 0;
        off_t size = 0;
        bool operator==(const FileIdentity&) const = default;
    };

    RegistryStore() = default;

    static FileIdentity identityOf(const std::string& path, const struct stat& status);

    // Brings root_ up to date with the file at `path`.
    LONG refresh(const std::string& path, bool takeSharedLock);
    // Writes root_ to a new file and renames it over the one at `path`.
    LONG replaceFile(const std::string& path);
    void adopt(FileIdentity identity, RegistryKey root, int fileDescriptor);
    FILETIME lastWriteTime() const;

    std::mutex mutex_;
    bool cached_ = false;                       // guarded by mutex_
    FileIdentity identity_;                     // guarded by mutex_
    RegistryKey root_{std::string(kRootName)};  // guarded by mutex_
    // The cached version, held open so that no later version can get its inode number
    // and pass for it. Guarded by mutex_.
    int heldFile_ = -1;
};

}  // namespace standin::registry

#endif  // STANDIN_WIN32_REGISTRY_REGISTRY_STORE_H
