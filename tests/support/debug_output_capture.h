// Catches what the code under test writes to the debugger output, byte for byte: while an
// object lives, the Win32 stand-in writes OutputDebugStringA to a file of its own.
// Single-threaded tests only (it changes the process environment).
#ifndef TESTS_SUPPORT_DEBUG_OUTPUT_CAPTURE_H
#define TESTS_SUPPORT_DEBUG_OUTPUT_CAPTURE_H

#include <stdlib.h>

#include <string>

#include "test_paths.h"

namespace testsupport {

class DebugOutputCapture {
  public:
    DebugOutputCapture() : dir_("adapter-debug-output") {
        const char* old = getenv("STANDIN_DEBUG_OUTPUT");
        old_ = old != nullptr ? old : "";
        setenv("STANDIN_DEBUG_OUTPUT", dir_.file("debug.txt").c_str(), 1);
    }
    ~DebugOutputCapture() { setenv("STANDIN_DEBUG_OUTPUT", old_.c_str(), 1); }
    DebugOutputCapture(const DebugOutputCapture&) = delete;
    DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

    // Everything written since the object was made.
    std::string text() const { return testsupport::readFile(dir_.file("debug.txt")); }

  private:
    testsupport::ScratchDir dir_;
    std::string old_;
};

}  // namespace testsupport

#endif  // TESTS_SUPPORT_DEBUG_OUTPUT_CAPTURE_H
