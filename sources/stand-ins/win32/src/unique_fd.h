// A file descriptor with one owner, closed when the owner goes.
#ifndef STANDIN_WIN32_UNIQUE_FD_H
#define STANDIN_WIN32_UNIQUE_FD_H

#include <unistd.h>

namespace standin {

// Owns one descriptor (or none, -1) and closes it on destruction or reset. Movable, not
// copyable; not synchronised: whoever owns the UniqueFd decides which threads touch it.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }

    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

    // Linux releases the descriptor even when close fails, so there is nothing to retry.
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

  private:
    int fd_ = -1;
};

}  // namespace standin

#endif  // STANDIN_WIN32_UNIQUE_FD_H
