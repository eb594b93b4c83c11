// A tree kept in a text file that several processes read and change, the file named by an
// environment variable: the registry (STANDIN_REGISTRY) and the metabase (STANDIN_METABASE).
//
// The variable is read on every call, as tests change it; while it is unset the tree is
// empty and read-only. Readers hold a shared flock on "<file>.lock" while they read the
// file; a writer holds an exclusive one from re-reading the file to replacing it, so a
// change made by one process is the starting point of the next change made by any other.
// The writer replaces the file whole, by renaming a file written beside it, so that nobody
// ever reads half of it. Errors are Win32 codes; each store maps them to its own.
#ifndef STANDIN_WIN32_SHARED_TEXT_FILE_H
#define STANDIN_WIN32_SHARED_TEXT_FILE_H

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include <windows.h>

#include "stand-ins/win32/src/unique_fd.h"

struct stat;

namespace standin {

// The file named by `variable`, or nothing while it is unset or empty.
std::optional<std::string> fileNamedBy(const char* variable);

// What SharedTextFile does whatever its tree is. Owns which version of the file the cached
// tree came from (path, device, inode, modification time in ns, size) and that version's
// descriptor, held open so that no later version can get its inode number and pass for
// it; and the locking and replacing of the file. Callers hold mutex_ across each call and
// whatever they do with the tree, so any thread may call.
class SharedTextFileBase {
  protected:
    explicit SharedTextFileBase(const char* variable) : variable_(variable) {}
    ~SharedTextFileBase() = default;

    std::optional<std::string> path() const { return fileNamedBy(variable_); }

    // Brings the cache up to date with the file at `path`, calling load() when the file is
    // not the cached version.
    DWORD refresh(const std::string& path, bool takeSharedLock);
    // Makes the cached tree from the file's text, or an empty one when `text` is null: there
    // is no file.
    virtual void load(const std::string& path, const std::string* text) = 0;
    // Takes the writers' lock on the file at `path`; *lock keeps it.
    static DWORD lockForWriting(const std::string& path, UniqueFd* lock);
    // Puts `text` in place of the file at `path`, as the cached version.
    DWORD replace(const std::string& path, std::string_view text);
    // When the cached version was written; nothing when there is no file.
    std::optional<int64_t> modifiedNs() const;
    // The cached tree may differ from the file: the next refresh reads the file again.
    void forget() { cached_ = false; }

    std::mutex mutex_;

  private:
    struct Version {
        std::string path;
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        int64_t modifiedNs = 0;
        off_t size = 0;
        bool operator==(const Version&) const = default;
    };

    static Version versionOf(const std::string& path, const struct stat& status);
    void adopt(Version version, UniqueFd file);

    const char* const variable_;
    bool cached_ = false;  // guarded by mutex_
    Version version_;      // guarded by mutex_
    UniqueFd heldFile_;    // guarded by mutex_
};

// Owns the parsed copy of the file named by `variable`, made by `parse` and written back by
// `format`, reused while the file keeps its identity. Any thread may call; one mutex
// serialises the calls of the process, callbacks included.
template <typename Tree>
class SharedTextFile final : private SharedTextFileBase {
  public:
    using Parse = std::function<Tree(const std::string& path, std::string_view text)>;
    using Format = std::function<std::string(const Tree&)>;

    SharedTextFile(const char* variable, std::function<Tree()> empty, Parse parse, Format format)
        : SharedTextFileBase(variable),
          empty_(std::move(empty)),
          parse_(std::move(parse)),
          format_(std::move(format)),
          tree_(empty_()) {}

    // Calls `reader` with the tree and when the file was last written (nothing when there is
    // no file). ERROR_SUCCESS, or the error that kept the file from being read.
    DWORD read(const std::function<void(const Tree&, std::optional<int64_t> modifiedNs)>& reader) {
        std::optional<std::string> file = path();
        if (!file) {
            reader(empty_(), std::nullopt);
            return ERROR_SUCCESS;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        DWORD error = refresh(*file, true);
        if (error == ERROR_SUCCESS) {
            reader(tree_, modifiedNs());
        }
        return error;
    }

    // Calls `change` on the tree; what it changed goes into the file if it returns true.
    // ERROR_SUCCESS, or the error that kept the change out: ERROR_ACCESS_DENIED while the
    // tree is read-only.
    DWORD write(const std::function<bool(Tree&)>& change) {
        std::optional<std::string> file = path();
        if (!file) {
            Tree scratch = empty_();
            return change(scratch) ? DWORD(ERROR_ACCESS_DENIED) : DWORD(ERROR_SUCCESS);
        }
        std::lock_guard<std::mutex> lock(mutex_);
        UniqueFd exclusive;
        DWORD error = lockForWriting(*file, &exclusive);
        if (error == ERROR_SUCCESS) {
            error = refresh(*file, false);
        }
        if (error != ERROR_SUCCESS) {
            return error;
        }
        try {
            if (!change(tree_)) {
                forget();  // the tree may hold a change that the file does not
                return ERROR_SUCCESS;
            }
            error = replace(*file, format_(tree_));
        } catch (...) {
            forget();  // the tree may hold half a change
            throw;
        }
        if (error != ERROR_SUCCESS) {
            forget();
        }
        return error;
    }

  private:
    void load(const std::string& path, const std::string* text) override {
        tree_ = text != nullptr ? parse_(path, *text) : empty_();
    }

    const std::function<Tree()> empty_;
    const Parse parse_;
    const Format format_;
    Tree tree_;  // guarded by mutex_
};

}  // namespace standin

#endif  // STANDIN_WIN32_SHARED_TEXT_FILE_H
