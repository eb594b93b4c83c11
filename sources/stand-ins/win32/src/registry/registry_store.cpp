#include "registry/registry_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <utility>

#include "internal.h"
#include "registry/regedit4_format.h"

namespace standin::registry {

namespace {

// Closes the descriptor it holds when it goes.
class UniqueFd {
  public:
    explicit UniqueFd(int fd = -1) : fd_(fd) {}
    ~UniqueFd() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

std::optional<std::string> registryPath() {
    const char* path = std::getenv("STANDIN_REGISTRY");
    if (path == nullptr || *path == '\0') {
        return std::nullopt;
    }
    return std::string(path);
}

std::string lockPath(const std::string& path) {
    return path + ".lock";
}

// Waits for the lock; a signal is no reason to give up on it.
bool lockFile(int fd, int operation) {
    while (flock(fd, operation) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool readAll(int fd, std::string* text) {
    char buffer[16384];
    for (;;) {
        ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count == 0) {
            return true;
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        text->append(buffer, size_t(count));
    }
}

bool writeAll(int fd, std::string_view text) {
    while (!text.empty()) {
        ssize_t count = ::write(fd, text.data(), text.size());
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        text.remove_prefix(size_t(count));
    }
    return true;
}

LONG errorFromErrno(int err) {
    return LONG(win32ErrorFromErrno(err));
}

}  // namespace

RegistryStore& RegistryStore::instance() {
    // Never destroyed: threads may still use the registry while the process exits.
    static RegistryStore* store = new RegistryStore();
    return *store;
}

LONG RegistryStore::read(const Reader& reader) {
    std::optional<std::string> path = registryPath();
    if (!path) {
        const RegistryKey empty{std::string(kRootName)};
        return reader(empty, FILETIME{});
    }
    std::lock_guard<std::mutex> lock(mutex_);
    LONG result = refresh(*path, true);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    return reader(root_, lastWriteTime());
}

LONG RegistryStore::write(const Writer& writer) {
    std::optional<std::string> path = registryPath();
    if (!path) {
        RegistryKey scratch{std::string(kRootName)};
        LONG result = writer(scratch);
        return result == ERROR_SUCCESS ? LONG(ERROR_ACCESS_DENIED) : result;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    UniqueFd exclusive(open(lockPath(*path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (!exclusive.valid()) {
        // The registry's folder is missing: Windows reports such paths this way.
        return errno == ENOENT ? LONG(ERROR_PATH_NOT_FOUND) : errorFromErrno(errno);
    }
    if (!lockFile(exclusive.get(), LOCK_EX)) {
        return errorFromErrno(errno);
    }
    LONG result = refresh(*path, false);
    if (result != ERROR_SUCCESS) {
        return result;
    }
    try {
        result = writer(root_);
        if (result == ERROR_SUCCESS) {
            result = replaceFile(*path);
        }
    } catch (...) {
        cached_ = false;  // root_ may hold half a change
        throw;
    }
    if (result != ERROR_SUCCESS) {
        cached_ = false;  // root_ may hold a change that the file does not
    }
    return result;
}

LONG RegistryStore::refresh(const std::string& path, bool takeSharedLock) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            return errorFromErrno(errno);
        }
        FileIdentity missing{path};
        if (!cached_ || !(identity_ == missing)) {
            adopt(std::move(missing), RegistryKey{std::string(kRootName)}, -1);
        }
        return ERROR_SUCCESS;
    }
    if (cached_ && identity_ == identityOf(path, status)) {
        return ERROR_SUCCESS;
    }

    // Without a lock file (a folder this process may not write to) the file is read
    // unlocked: it is only ever replaced whole, so the read still sees one version.
    UniqueFd shared(
        takeSharedLock ? open(lockPath(path).c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666) : -1);
    if (shared.valid()) {
        lockFile(shared.get(), LOCK_SH);
    }
    UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file.valid()) {
        if (errno == ENOENT) {
            adopt(FileIdentity{path}, RegistryKey{std::string(kRootName)}, -1);
            return ERROR_SUCCESS;
        }
        return errorFromErrno(errno);
    }
    std::string text;
    if (fstat(file.get(), &status) != 0 || !readAll(file.get(), &text)) {
        return errorFromErrno(errno);
    }
    adopt(identityOf(path, status), parseRegedit4(text), file.release());
    return ERROR_SUCCESS;
}

LONG RegistryStore::replaceFile(const std::string& path) {
    std::string text = formatRegedit4(root_);
    std::string temporary =
        path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(gettid());
    UniqueFd file(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!file.valid()) {
        return errorFromErrno(errno);
    }
    struct stat status;
    if (!writeAll(file.get(), text) || fstat(file.get(), &status) != 0 ||
        rename(temporary.c_str(), path.c_str()) != 0) {
        int err = errno;
        unlink(temporary.c_str());
        return errorFromErrno(err);
    }
    identity_ = identityOf(path, status);
    if (heldFile_ >= 0) {
        close(heldFile_);
    }
    heldFile_ = file.release();
    return ERROR_SUCCESS;
}

RegistryStore::FileIdentity RegistryStore::identityOf(const std::string& path,
                                                      const struct stat& status) {
    int64_t modifiedNs = int64_t(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return {path, true, status.st_dev, status.st_ino, modifiedNs, status.st_size};
}

void RegistryStore::adopt(FileIdentity identity, RegistryKey root, int fileDescriptor) {
    identity_ = std::move(identity);
    root_ = std::move(root);
    if (heldFile_ >= 0) {
        close(heldFile_);
    }
    heldFile_ = fileDescriptor;
    cached_ = true;
}

FILETIME RegistryStore::lastWriteTime() const {
    if (!identity_.exists) {
        return FILETIME{};
    }
    // FILETIME counts 100 ns steps from 1601-01-01, 11644473600 s before the Unix epoch.
    uint64_t ticks = uint64_t(identity_.modifiedNs / 100) + uint64_t(11644473600) * 10000000;
    return FILETIME{DWORD(ticks), DWORD(ticks >> 32)};
}

}  // namespace standin::registry
