// The main of every GoogleTest executable of the project.
//
// On Linux it points the Win32 stand-in's stores at files of the test's own, so that no
// test reads or writes a registry or debugger output that a developer uses; a test that
// needs particular contents sets the variables itself.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "test_paths.h"

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
#ifndef _WIN32
    static const std::string scratch = testsupport::makeTempDir("standin");
    setenv("STANDIN_REGISTRY", (scratch + "/registry.reg").c_str(), 0);
    setenv("STANDIN_DEBUG_OUTPUT", (scratch + "/debug-output.txt").c_str(), 0);
#endif
    int result = RUN_ALL_TESTS();
#ifndef _WIN32
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
#endif
    return result;
}
