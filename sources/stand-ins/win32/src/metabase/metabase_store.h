// The metabase as kept in the text file named by STANDIN_METABASE.
//
// Owns the parsed copy of that file, reused while the file keeps its identity (path,
// inode, modification time, size), and the protocol by which processes share the file: a
// reader holds a shared flock on "<file>.lock" while it reads the file, a writer holds an
// exclusive one from re-reading the file to replacing it, so a change made by one process
// is the starting point of the next change made by any other. The writer replaces the
// file whole, by rename, so that nobody ever reads half of it. STANDIN_METABASE is read on
// every call, as tests change it; while it is unset the metabase is empty and read-only.
// Lines of the file that cannot be understood are reported through OutputDebugStringA,
// with the file's name and the line's number, whenever a process reads the file.
//
// Any thread may call. One mutex serialises the calls of the process, callbacks included.
#ifndef STANDIN_WIN32_METABASE_METABASE_STORE_H
#define STANDIN_WIN32_METABASE_METABASE_STORE_H

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "files/unique_fd.h"
#include "metabase/metabase_tree.h"

struct stat;

namespace standin::metabase {

// The file named by STANDIN_METABASE, or nothing while it is unset or empty.
std::optional<std::string> metabasePath();

class MetabaseStore {
  public:
    // Looks at the metabase.
    using Reader = std::function<HRESULT(const MetabaseKey& root)>;
    // Changes the metabase and returns S_OK, or returns an error having changed nothing.
    using Writer = std::function<HRESULT(MetabaseKey& root)>;

    static MetabaseStore& instance();

    // The reader's result, or the error that kept the file from being read.
    HRESULT read(const Reader& reader);

    // The writer's result once its change is in the file, or the error that kept it out.
    // When the metabase is read-only, a writer that would change something gets
    // HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED), and one that fails keeps its own error.
    HRESULT write(const Writer& writer);

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

    MetabaseStore() = default;

    static FileIdentity identityOf(const std::string& path, const struct stat& status);

    // Brings root_ up to date with the file at `path`.
    HRESULT refresh(const std::string& path, bool takeSharedLock);
    // Writes root_ to a new file and renames it over the one at `path`.
    HRESULT replaceFile(const std::string& path);
    void adopt(FileIdentity identity, std::unique_ptr<MetabaseKey> root, files::UniqueFd file);

    std::mutex mutex_;
    FileIdentity identity_;              // guarded by mutex_
    std::unique_ptr<MetabaseKey> root_;  // guarded by mutex_; null until the first read
    // The cached version, held open so that no later version can get its inode number
    // and pass for it. Guarded by mutex_.
    files::UniqueFd heldFile_;
};

}  // namespace standin::metabase

#endif  // STANDIN_WIN32_METABASE_METABASE_STORE_H
