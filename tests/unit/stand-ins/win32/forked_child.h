// A forked process for the stand-in's tests of state shared between processes.
#ifndef TESTS_UNIT_STAND_INS_WIN32_FORKED_CHILD_H
#define TESTS_UNIT_STAND_INS_WIN32_FORKED_CHILD_H

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace win32test {

// Runs `body` in a forked process and sends its result back. The child then stays, holding
// what it opened, until end() or the destructor kills it, never releasing it cleanly.
class ForkedChild {
  public:
    explicit ForkedChild(const std::function<long()>& body) {
        if (pipe(answer_) != 0 || (pid_ = fork()) != 0) {
            return;
        }
        long result = body();
        (void)!write(answer_[1], &result, sizeof result);
        pause();
    }
    ~ForkedChild() {
        end();
        close(answer_[0]);
        close(answer_[1]);
    }
    ForkedChild(const ForkedChild&) = delete;
    ForkedChild& operator=(const ForkedChild&) = delete;

    // The body's result, once it returned; -1 when the child could not run.
    long result() {
        long result = -1;
        return read(answer_[0], &result, sizeof result) == sizeof result ? result : -1;
    }
    void end() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

  private:
    pid_t pid_ = -1;
    int answer_[2] = {-1, -1};
};

}  // namespace win32test

#endif  // TESTS_UNIT_STAND_INS_WIN32_FORKED_CHILD_H
