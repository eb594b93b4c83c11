// Failure injection armed by tests through standin_test_hooks.h.
#include <standin_test_hooks.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "stand-ins/win32/src/internal.h"

namespace {

struct ArmedFailure {
    std::string function;
    int remaining;
    DWORD error;
};

std::mutex armedMutex;
std::vector<ArmedFailure> armed;    // guarded by armedMutex
std::atomic<bool> anyArmed{false};  // fast path for the common case of no test hooks

}  // namespace

extern "C" {

void StandinFailNextCalls(const char* functionName, int count, DWORD errorCode) {
    if (functionName == nullptr || count <= 0) {
        return;
    }
    std::lock_guard<std::mutex> lock(armedMutex);
    armed.push_back({functionName, count, errorCode});
    anyArmed.store(true);
}

void StandinClearFailures(void) {
    std::lock_guard<std::mutex> lock(armedMutex);
    armed.clear();
    anyArmed.store(false);
}

}  // extern "C"

namespace standin {

bool injectedFailure(const char* function, DWORD* error) {
    if (!anyArmed.load(std::memory_order_relaxed)) {
        return false;
    }
    std::lock_guard<std::mutex> lock(armedMutex);
    for (auto it = armed.begin(); it != armed.end(); ++it) {
        if (it->function == function) {
            *error = it->error;
            if (--it->remaining == 0) {
                armed.erase(it);
                anyArmed.store(!armed.empty());
            }
            return true;
        }
    }
    return false;
}

}  // namespace standin
