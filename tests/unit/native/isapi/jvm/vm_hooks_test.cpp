// The VM's output, exit and abort reach the native log through the hooks, the output one
// entry per call with the line-feed rules of the log.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>

#include "native/isapi/jvm/vm_hooks.h"
#include "vm_test_bed.h"

namespace vmtest {
namespace {

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
    const struct {
        std::string printed;
        const char* entry;
    } cases[] = {
        {"done\n", "done"},
        {"first\nsecond\n", "first\r\nsecond"},
        {"no line feed", "no line feed"},
        {"\n", "\r\n"},                              // one character: its line feed stays
        {"windows line\r\n", "windows line\r\r\n"},  // after a CR the line feed stays
        {"two at the end\n\n", "two at the end\r\n"},
        {"100%s %n %d\n", "100%s %n %d"},  // text is never a format
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(vmPrints("%s", c.printed.c_str()), static_cast<jint>(c.printed.size()));
        EXPECT_EQ(newEntries(), Lines{"Java VM message: " + std::string(c.entry)});
    }
    EXPECT_EQ(vmPrints("%s=%d [%ld]\n", "threads", 16, 7L), 15);
    EXPECT_EQ(newEntries(), Lines{"Java VM message: threads=16 [7]"});
}

TEST_F(VmHooks, MessageLongerThanTheBufferIsLoggedWhole) {
    std::string text(300000, 'x');
    text[262143] = 'y';  // where a 256 KB buffer would have cut
    for (const std::string& printed : {text + "end\n", std::string(262144, 'z')}) {
        EXPECT_EQ(vmPrints("%s", printed.c_str()), static_cast<jint>(printed.size()));
        EXPECT_EQ(newEntries(), Lines{"Java VM message: " + printed.substr(0, printed.find('\n'))});
    }
}

TEST_F(VmHooks, ExitAndAbortOnlyLog) {
    brevant::isapi::vmExit(0);
    brevant::isapi::vmExit(-1);
    brevant::isapi::vmExit(2147483647);
    brevant::isapi::vmAbort();
    EXPECT_EQ(newEntries(), (Lines{"Java VM exit code = 0", "Java VM exit code = -1",
                                   "Java VM exit code = 2147483647", "Java VM aborted."}));
}

}  // namespace
}  // namespace vmtest
