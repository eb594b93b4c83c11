// Threads get their JNI environment from the JVM host, attaching to the VM with one retry
// through the VM list when an attach fails; they detach on request; and the host keeps the VM
// library for the life of the process once a VM exists.
#include <gtest/gtest.h>

#include "vm_test_bed.h"

namespace vmtest {
namespace {

class VmAttach : public VmTestBed {
  protected:
    // A host with its VM created from a fresh fake, the settings block dropped from the log.
    std::unique_ptr<CJavaVM> createdHost() {
        fake_ = &install(kJavaSoftRuntime);
        auto vm = host(JVM_DEFAULT);
        newEntries();
        return vm;
    }
    FakeJvmControl* fake_ = nullptr;
};

TEST_F(VmAttach, FailedAttachIsTriedOnceMoreThroughTheVmList) {
    struct Case {
        std::vector<jint> attachResults;
        jint createdResult;
        std::vector<jsize> createdCounts;  // of the retry
        int attachCalls, createdCalls;     // createdCalls with the one before creating
        const char* log;                   // the error code logged, "" for none
        bool secondTry = false;
    };
    const Case cases[] = {
        {{}, JNI_OK, {}, 1, 1, ""},         {{-1}, JNI_OK, {}, 2, 2, "-1", true},
        {{-3, -4}, JNI_OK, {}, 2, 2, "-3"}, {{-2}, -1, {}, 1, 2, "-2"},  // the list fails too
        {{-6}, JNI_OK, {0}, 1, 2, "-6"},                                 // a list without a VM
    };
    for (const Case& c : cases) {
        auto vm = createdHost();
        fake_->attachResults = c.attachResults;
        fake_->createdResult = c.createdResult;
        fake_->createdCounts = c.createdCounts;
        EXPECT_EQ(vm->getJNIEnv() != nullptr, *c.log == '\0' || c.secondTry);
        EXPECT_EQ(fake_->attachCalls, c.attachCalls);
        EXPECT_EQ(fake_->createdCalls, c.createdCalls);
        EXPECT_EQ(fake_->createdBufferLength, 1);
        Lines log;
        if (*c.log != '\0') {
            log.push_back("CJavaVM::getJNIEnv(): AttachCurrentThread() failed, error = " +
                          std::string(c.log) + ".");
        }
        if (c.secondTry) {
            log.push_back("CJavaVM::getJNIEnv(): AttachCurrentThread() second try success.");
        }
        EXPECT_EQ(newEntries(), log);
    }
}

// The library of a created VM stays: the VM's threads would run unloaded code.
TEST_F(VmAttach, ThreadsDetachOnRequestAndAtTheEndWhichKeepsTheLibrary) {
    auto vm = createdHost();
    vm->detachCurrentThread();
    EXPECT_EQ(fake_->detachCalls, 1);
    vm.reset();
    EXPECT_EQ(fake_->detachCalls, 2);
    EXPECT_TRUE(releaseAndCheckLoaded(home_));
}

}  // namespace
}  // namespace vmtest
