#include "stand-ins/win32/src/shared_text_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "stand-ins/win32/src/internal.h"

namespace standin {

namespace {

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

}  // namespace

std::optional<std::string> fileNamedBy(const char* variable) {
    const char* path = std::getenv(variable);
    if (path == nullptr || *path == '\0') {
        return std::nullopt;
    }
    return std::string(path);
}

DWORD SharedTextFileBase::lockForWriting(const std::string& path, UniqueFd* lock) {
    lock->reset(open(lockPath(path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (!lock->valid()) {
        // The file's folder is missing: Windows reports such paths this way.
        return errno == ENOENT ? DWORD(ERROR_PATH_NOT_FOUND) : win32ErrorFromErrno(errno);
    }
    return lockFile(lock->get(), LOCK_EX) ? DWORD(ERROR_SUCCESS) : win32ErrorFromErrno(errno);
}

DWORD SharedTextFileBase::refresh(const std::string& path, bool takeSharedLock) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            return win32ErrorFromErrno(errno);
        }
        Version missing{path};
        if (!cached_ || !(version_ == missing)) {
            load(path, nullptr);
            adopt(std::move(missing), UniqueFd());
        }
        return ERROR_SUCCESS;
    }
    if (cached_ && version_ == versionOf(path, status)) {
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
            load(path, nullptr);
            adopt(Version{path}, UniqueFd());
            return ERROR_SUCCESS;
        }
        return win32ErrorFromErrno(errno);
    }
    std::string text;
    if (fstat(file.get(), &status) != 0 || !readAll(file.get(), &text)) {
        return win32ErrorFromErrno(errno);
    }
    load(path, &text);
    adopt(versionOf(path, status), std::move(file));
    return ERROR_SUCCESS;
}

DWORD SharedTextFileBase::replace(const std::string& path, std::string_view text) {
    std::string temporary =
        path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(gettid());
    UniqueFd file(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!file.valid()) {
        return win32ErrorFromErrno(errno);
    }
    struct stat status;
    if (!writeAll(file.get(), text) || fstat(file.get(), &status) != 0 ||
        rename(temporary.c_str(), path.c_str()) != 0) {
        int err = errno;
        unlink(temporary.c_str());
        return win32ErrorFromErrno(err);
    }
    version_ = versionOf(path, status);
    heldFile_ = std::move(file);
    return ERROR_SUCCESS;
}

std::optional<int64_t> SharedTextFileBase::modifiedNs() const {
    return version_.exists ? std::optional<int64_t>(version_.modifiedNs) : std::nullopt;
}

SharedTextFileBase::Version SharedTextFileBase::versionOf(const std::string& path,
                                                          const struct stat& status) {
    int64_t modifiedNs = int64_t(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return {path, true, status.st_dev, status.st_ino, modifiedNs, status.st_size};
}

void SharedTextFileBase::adopt(Version version, UniqueFd file) {
    version_ = std::move(version);
    heldFile_ = std::move(file);
    cached_ = true;
}

}  // namespace standin
