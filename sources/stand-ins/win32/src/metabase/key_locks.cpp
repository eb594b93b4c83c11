#include "stand-ins/win32/src/metabase/key_locks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <iterator>
#include <string_view>
#include <thread>
#include <vector>

#include "stand-ins/win32/src/internal.h"

namespace standin::metabase {

namespace {

constexpr off_t kRecordSize = 512;
constexpr size_t kMaxPathBytes = kRecordSize - 3;  // after "W " and before "\n"
constexpr off_t kMaxSlots = 16384;
// The lock bytes lie far past any record, so records and locks never meet.
constexpr off_t kGate = off_t(1) << 40;
constexpr off_t kFirstSlotByte = kGate + 1;

constexpr auto kFirstPause = std::chrono::milliseconds(1);
constexpr auto kLongestPause = std::chrono::milliseconds(25);

HRESULT fromErrno(int err) {
    return HRESULT_FROM_WIN32(win32ErrorFromErrno(err));
}

// "/LM/W3SVC" with letters folded as key names compare. A path too long for a record is
// cut back to a parent, which locks more than asked for but never less.
std::string recordPath(const KeyPath& path) {
    std::string text;
    for (const std::string& component : path) {
        text += '/';
        std::transform(component.begin(), component.end(), std::back_inserter(text),
                       brevant::ascii::toUpper);
    }
    if (text.size() > kMaxPathBytes) {
        text.erase(text.rfind('/', kMaxPathBytes));
    }
    return text.empty() ? "/" : text;
}

std::string makeRecord(LockMode mode, const std::string& path) {
    std::string record(1, char(mode));
    record += ' ';
    record += path;
    record += '\n';
    record.resize(size_t(kRecordSize), '\0');
    return record;
}

bool parseRecord(std::string_view record, LockMode* mode, std::string_view* path) {
    size_t end = record.find('\n');
    if (record.size() < 3 || (record[0] != 'R' && record[0] != 'W') || record[1] != ' ' ||
        end == std::string_view::npos) {
        return false;
    }
    *mode = LockMode(record[0]);
    *path = record.substr(2, end - 2);
    return true;
}

// Whether one key is the other or lies below it.
bool overlaps(std::string_view a, std::string_view b) {
    if (a.size() > b.size()) {
        std::swap(a, b);
    }
    return a == "/" || (b.substr(0, a.size()) == a && (b.size() == a.size() || b[a.size()] == '/'));
}

// Applies a lock change; returns 0 or errno.
int setLock(int fd, int command, short type, off_t byte) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    while (fcntl(fd, command, &lock) != 0) {
        if (errno != EINTR) {
            return errno;
        }
    }
    return 0;
}

// Whether any description holds the slot's byte; returns 0 or errno.
int slotAlive(int fd, off_t slot, bool* alive) {
    struct flock probe {};
    probe.l_type = F_WRLCK;
    probe.l_whence = SEEK_SET;
    probe.l_start = kFirstSlotByte + slot;
    probe.l_len = 1;
    if (fcntl(fd, F_OFD_GETLK, &probe) != 0) {
        return errno;
    }
    *alive = probe.l_type != F_UNLCK;
    return 0;
}

bool readTable(int fd, std::string* records) {
    struct stat status;
    if (fstat(fd, &status) != 0) {
        return false;
    }
    off_t slots = std::min((status.st_size + kRecordSize - 1) / kRecordSize, kMaxSlots);
    records->assign(size_t(slots * kRecordSize), '\0');
    size_t done = 0;
    while (done < records->size()) {
        ssize_t count = pread(fd, records->data() + done, records->size() - done, off_t(done));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return count == 0;  // a shorter file leaves zeros: free slots
        }
        done += size_t(count);
    }
    return true;
}

bool writeRecord(int fd, const std::string& record, off_t slot) {
    size_t done = 0;
    while (done < record.size()) {
        ssize_t count = pwrite(fd, record.data() + done, record.size() - done,
                               slot * kRecordSize + off_t(done));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            return false;
        }
        done += size_t(count);
    }
    return true;
}

}  // namespace

HRESULT KeyLock::tryClaim(int table, const std::string& record, off_t ownSlot, bool* busy,
                          off_t* slot) {
    LockMode mode = LockMode::kRead;
    std::string_view path;
    parseRecord(record, &mode, &path);
    std::string records;
    if (!readTable(table, &records)) {
        return fromErrno(errno);
    }
    off_t slots = off_t(records.size()) / kRecordSize;
    off_t free = -1;
    *busy = false;
    for (off_t other = 0; other < slots; ++other) {
        bool alive = false;
        if (other == ownSlot) {
            continue;
        }
        if (int error = slotAlive(table, other, &alive); error != 0) {
            return fromErrno(error);
        }
        if (!alive) {
            free = free < 0 ? other : free;
            continue;
        }
        LockMode otherMode = LockMode::kRead;
        std::string_view otherPath;
        // A live record is always whole; one that is not is taken for the worst.
        std::string_view otherRecord(records.data() + other * kRecordSize, size_t(kRecordSize));
        if (!parseRecord(otherRecord, &otherMode, &otherPath) ||
            ((mode == LockMode::kWrite || otherMode == LockMode::kWrite) &&
             overlaps(path, otherPath))) {
            *busy = true;
            return S_OK;
        }
    }
    off_t target = ownSlot >= 0 ? ownSlot : free >= 0 ? free : slots;
    if (target >= kMaxSlots) {
        return HRESULT_FROM_WIN32(ERROR_TOO_MANY_OPEN_FILES);
    }
    // The record is complete before the slot comes alive, so nobody sees half of it.
    if (!writeRecord(table, record, target)) {
        return fromErrno(errno);
    }
    if (ownSlot < 0) {
        if (int error = setLock(table, F_OFD_SETLK, F_WRLCK, kFirstSlotByte + target); error != 0) {
            return fromErrno(error);
        }
    }
    *slot = target;
    return S_OK;
}

HRESULT KeyLock::waitAndClaim(int table, const std::string& record, off_t ownSlot, DWORD timeoutMs,
                              off_t* slot) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    auto pause = std::chrono::duration_cast<Clock::duration>(kFirstPause);
    for (;;) {
        // Held only for a read of the table and a write of one record, and dropped by the
        // kernel should its holder die, so waiting for it cannot hang.
        if (int error = setLock(table, F_OFD_SETLKW, F_WRLCK, kGate); error != 0) {
            return fromErrno(error);
        }
        bool busy = false;
        HRESULT result = tryClaim(table, record, ownSlot, &busy, slot);
        setLock(table, F_OFD_SETLK, F_UNLCK, kGate);
        if (FAILED(result) || !busy) {
            return result;
        }
        Clock::time_point now = Clock::now();
        if (now >= deadline) {
            return HRESULT_FROM_WIN32(ERROR_PATH_BUSY);
        }
        // Nothing tells a waiter that a lock went, so it looks again, soon at first.
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
        pause = std::min<Clock::duration>(pause * 2, kLongestPause);
    }
}

HRESULT KeyLock::acquire(const std::string& tablePath, const KeyPath& path, LockMode mode,
                         DWORD timeoutMs, KeyLock* out) {
    UniqueFd table(open(tablePath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666));
    if (!table.valid()) {
        return errno == ENOENT ? HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) : fromErrno(errno);
    }
    std::string lockedPath = recordPath(path);
    off_t slot = -1;
    HRESULT result = waitAndClaim(table.get(), makeRecord(mode, lockedPath), -1, timeoutMs, &slot);
    if (SUCCEEDED(result)) {
        *out = KeyLock(std::move(table), slot, std::move(lockedPath));
    }
    return result;
}

HRESULT KeyLock::change(LockMode mode, DWORD timeoutMs) {
    off_t slot = slot_;
    return waitAndClaim(table_.get(), makeRecord(mode, path_), slot_, timeoutMs, &slot);
}

}  // namespace standin::metabase
