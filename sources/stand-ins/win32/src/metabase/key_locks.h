// The locks that open metabase handles hold on keys, shared by all processes of the
// machine as IIS's metabase server shares them among its clients.
//
// A handle open for reading keeps writers away, one open for writing keeps everyone away,
// and either reaches over its key's parents and children: two locks conflict when one
// key is the other or lies below it, unless both are for reading.
//
// The locks live in a table file, "<metabase>.handles", of fixed-size records, one per
// lock: "R /LM/W3SVC" (the path in the case-folded form that key names compare in). A
// record counts only while its slot is alive, that is while someone holds a Linux
// open-file-description lock on the slot's byte, far past the records. Each KeyLock has
// its own open file description of the table that holds its slot's byte; the kernel drops
// that when the description closes, also when its process dies, so a dead process's locks
// vanish with it, and a new lock reuses the first dead slot. Looking at the table and
// claiming a slot happen under an exclusive lock on a gate byte, so that they are one
// step for every process and thread. A child forked without exec shares its parent's
// descriptions, and so its locks, until both have closed them, much as an inherited
// handle on Windows.
#ifndef STANDIN_WIN32_METABASE_KEY_LOCKS_H
#define STANDIN_WIN32_METABASE_KEY_LOCKS_H

#include <sys/types.h>

#include <string>

#include <windows.h>

#include "stand-ins/win32/src/unique_fd.h"
#include "stand-ins/win32/src/metabase/metabase_tree.h"

namespace standin::metabase {

enum class LockMode : char { kRead = 'R', kWrite = 'W' };

// One handle's lock on one key. Movable, not copyable; released when it goes. Not
// synchronised: its owner decides which threads touch it.
class KeyLock {
  public:
    // Holds nothing: what handles of a metabase that has no file hold.
    KeyLock() = default;

    // Takes a lock on `path` in the table at `tablePath`, waiting up to timeoutMs for the
    // conflicting locks of other handles to go. Returns S_OK,
    // HRESULT_FROM_WIN32(ERROR_PATH_BUSY) when they stayed, or the error that kept the
    // table from working.
    static HRESULT acquire(const std::string& tablePath, const KeyPath& path, LockMode mode,
                           DWORD timeoutMs, KeyLock* out);

    // Turns the lock held into one of `mode`, waiting as acquire does; on failure the lock
    // stays as it was. REQUIRES: the lock holds something.
    HRESULT change(LockMode mode, DWORD timeoutMs);

    bool holds() const { return table_.valid(); }

  private:
    KeyLock(UniqueFd table, off_t slot, std::string path)
        : table_(std::move(table)), slot_(slot), path_(std::move(path)) {}

    // Under the gate: claims a slot for `record` unless a live record of another slot
    // conflicts with it; *busy tells which.
    static HRESULT tryClaim(int table, const std::string& record, off_t ownSlot, bool* busy,
                            off_t* slot);
    static HRESULT waitAndClaim(int table, const std::string& record, off_t ownSlot,
                                DWORD timeoutMs, off_t* slot);

    UniqueFd table_;  // holds the slot's byte
    off_t slot_ = -1;
    std::string path_;  // as the record has it
};

}  // namespace standin::metabase

#endif  // STANDIN_WIN32_METABASE_KEY_LOCKS_H
