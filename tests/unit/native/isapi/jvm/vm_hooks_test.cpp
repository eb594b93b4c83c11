// The VM's output, exit and abort reach the native log through the hooks, the output one
// entry per call with the line-feed rules of the log.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <string>

#include "native/isapi/jvm/vm_hooks.h"
#include "vm_test_bed.h"

namespace vmtest {
namespace {

using brevant::isapi::vmAbort;
using brevant::isapi::vmExit;
using brevant::isapi::vmMessage;

// What a VM does: its own format and arguments, through the hook.
jint vmPrints(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    jint result = vmMessage(stdout, format, arguments);
    va_end(arguments);
    return result;
}

using VmHooks = VmTestBed;

TEST_F(VmHooks, MessageLineFeedsAndResult) {
    EXPECT_EQ(vmPrints("%s\n", "done"), 5);
    EXPECT_EQ(vmPrints("first\nsecond\n"), 13);
    EXPECT_EQ(vmPrints("no line feed"), 12);
    EXPECT_EQ(vmPrints("\n"), 1);                 // one character: its line feed stays
    EXPECT_EQ(vmPrints("windows line\r\n"), 14);  // after a CR the line feed stays
    EXPECT_EQ(vmPrints("two at the end\n\n"), 16);
    EXPECT_EQ(vmPrints("%s=%d [%ld]\n", "threads", 16, 7L), 15);
    EXPECT_EQ(vmPrints(""), 0);
    EXPECT_EQ(logEntries(), (Lines{
                                "Java VM message: done",
                                "Java VM message: first\r\nsecond",
                                "Java VM message: no line feed",
                                "Java VM message: \r\n",
                                "Java VM message: windows line\r\r\n",
                                "Java VM message: two at the end\r\n",
                                "Java VM message: threads=16 [7]",
                                "Java VM message: ",
                            }));
}

TEST_F(VmHooks, MessageTextIsNeverAFormat) {
    EXPECT_EQ(vmPrints("%s\n", "100%s %n %d"), 12);
    EXPECT_EQ(logEntries(), (Lines{"Java VM message: 100%s %n %d"}));
}

TEST_F(VmHooks, MessageLongerThanTheBufferIsLoggedWhole) {
    std::string text(300000, 'x');
    text[262143] = 'y';  // where a 256 KB buffer would have cut
    text += "end\n";
    EXPECT_EQ(vmPrints("%s", text.c_str()), static_cast<jint>(text.size()));
    text.pop_back();
    EXPECT_EQ(logEntries(), (Lines{"Java VM message: " + text}));

    std::string exact(262144, 'z');  // one more than the buffer holds with its NUL
    EXPECT_EQ(vmPrints("%s", exact.c_str()), 262144);
    EXPECT_EQ(logEntries().back(), "Java VM message: " + exact);
}

TEST_F(VmHooks, ExitAndAbortOnlyLog) {
    vmExit(0);
    vmExit(-1);
    vmExit(2147483647);
    vmAbort();
    EXPECT_EQ(logEntries(), (Lines{
                                "Java VM exit code = 0",
                                "Java VM exit code = -1",
                                "Java VM exit code = 2147483647",
                                "Java VM aborted.",
                            }));
}

}  // namespace
}  // namespace vmtest
