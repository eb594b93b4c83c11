#include "metabase/metabase_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>
#include <utility>
#include <vector>

#include "internal.h"
#include "metabase/metabase_text.h"

namespace standin::metabase {

namespace {

using files::UniqueFd;

std::string lockPath(const std::string& path) {
    return path + ".lock";
}

HRESULT fromErrno(int err) {
    return HRESULT_FROM_WIN32(win32ErrorFromErrno(err));
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

// An administrator's mistake in the file is told where Windows programs tell such things.
void reportProblems(const std::string& path, const std::vector<ParseProblem>& problems) {
    for (const ParseProblem& problem : problems) {
        std::string message = "metabase: " + path + ":" + std::to_string(problem.line) + ": " +
                              problem.message + (problem.ignored ? "; line ignored\n" : "\n");
        OutputDebugStringA(message.c_str());
    }
}

}  // namespace

std::optional<std::string> metabasePath() {
    const char* path = std::getenv("STANDIN_METABASE");
    if (path == nullptr || *path == '\0') {
        return std::nullopt;
    }
    return std::string(path);
}

MetabaseStore& MetabaseStore::instance() {
    // Never destroyed: threads may still use the metabase while the process exits.
    static MetabaseStore* store = new MetabaseStore();
    return *store;
}

HRESULT MetabaseStore::read(const Reader& reader) {
    std::optional<std::string> path = metabasePath();
    if (!path) {
        const MetabaseKey empty{std::string()};
        return reader(empty);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    HRESULT result = refresh(*path, true);
    if (FAILED(result)) {
        return result;
    }
    return reader(*root_);
}

HRESULT MetabaseStore::write(const Writer& writer) {
    std::optional<std::string> path = metabasePath();
    if (!path) {
        MetabaseKey scratch{std::string()};
        HRESULT result = writer(scratch);
        return SUCCEEDED(result) ? HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED) : result;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    UniqueFd exclusive(open(lockPath(*path).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (!exclusive.valid()) {
        return errno == ENOENT ? HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) : fromErrno(errno);
    }
    if (!lockFile(exclusive.get(), LOCK_EX)) {
        return fromErrno(errno);
    }
    HRESULT result = refresh(*path, false);
    if (FAILED(result)) {
        return result;
    }
    try {
        result = writer(*root_);
        if (SUCCEEDED(result)) {
            result = replaceFile(*path);
        }
    } catch (...) {
        root_.reset();  // it may hold half a change
        throw;
    }
    if (FAILED(result)) {
        root_.reset();  // it may hold a change that the file does not
    }
    return result;
}

HRESULT MetabaseStore::refresh(const std::string& path, bool takeSharedLock) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            return fromErrno(errno);
        }
        FileIdentity missing{path};
        if (root_ == nullptr || !(identity_ == missing)) {
            adopt(std::move(missing), std::make_unique<MetabaseKey>(std::string()), UniqueFd());
        }
        return S_OK;
    }
    if (root_ != nullptr && identity_ == identityOf(path, status)) {
        return S_OK;
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
            adopt(FileIdentity{path}, std::make_unique<MetabaseKey>(std::string()), UniqueFd());
            return S_OK;
        }
        return fromErrno(errno);
    }
    std::string text;
    if (fstat(file.get(), &status) != 0 || !readAll(file.get(), &text)) {
        return fromErrno(errno);
    }
    std::vector<ParseProblem> problems;
    std::unique_ptr<MetabaseKey> root = parseMetabase(text, &problems);
    reportProblems(path, problems);
    adopt(identityOf(path, status), std::move(root), std::move(file));
    return S_OK;
}

HRESULT MetabaseStore::replaceFile(const std::string& path) {
    std::string text = formatMetabase(*root_);
    std::string temporary =
        path + ".tmp." + std::to_string(getpid()) + "." + std::to_string(gettid());
    UniqueFd file(open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
    if (!file.valid()) {
        return fromErrno(errno);
    }
    struct stat status;
    if (!writeAll(file.get(), text) || fstat(file.get(), &status) != 0 ||
        rename(temporary.c_str(), path.c_str()) != 0) {
        int err = errno;
        unlink(temporary.c_str());
        return fromErrno(err);
    }
    identity_ = identityOf(path, status);
    heldFile_ = std::move(file);
    return S_OK;
}

MetabaseStore::FileIdentity MetabaseStore::identityOf(const std::string& path,
                                                      const struct stat& status) {
    int64_t modifiedNs = int64_t(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    return {path, true, status.st_dev, status.st_ino, modifiedNs, status.st_size};
}

void MetabaseStore::adopt(FileIdentity identity, std::unique_ptr<MetabaseKey> root, UniqueFd file) {
    identity_ = std::move(identity);
    root_ = std::move(root);
    heldFile_ = std::move(file);
}

}  // namespace standin::metabase
