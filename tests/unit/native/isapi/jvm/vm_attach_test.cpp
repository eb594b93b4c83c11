// Threads get their JNI environment from the JVM host, attaching to the VM, with one retry
// through the VM list when an attach fails; they detach on request; and the host keeps the
// VM library for the life of the process once a VM exists. Concurrent attaching is checked
// with the installed JDK.
#include <gtest/gtest.h>

#include "vm_test_bed.h"

namespace vmtest {
namespace {

class VmAttach : public VmTestBed {
  protected:
    // A host with its VM created from a fresh fake, the settings block dropped from the log.
    std::unique_ptr<CJavaVM> createdHost(jint createResult = JNI_OK) {
        fake_ = &install(kJavaSoftRuntime);
        fake_->createResult = createResult;
        fake_->createdResult = createResult;
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
        bool environment;
        int attachCalls, createdCalls;
        Lines log;
    };
    const std::string failed = "CJavaVM::getJNIEnv(): AttachCurrentThread() failed, error = ";
    const Case cases[] = {
        {{}, JNI_OK, {}, true, 1, 1, {}},
        {{-1},
         JNI_OK,
         {},
         true,
         2,
         2,
         {failed + "-1.", "CJavaVM::getJNIEnv(): AttachCurrentThread() second try success."}},
        {{-3, -4}, JNI_OK, {}, false, 2, 2, {failed + "-3."}},
        {{-2}, -1, {}, false, 1, 2, {failed + "-2."}},       // the list fails too
        {{-6}, JNI_OK, {0}, false, 1, 2, {failed + "-6."}},  // a list without a VM
    };
    for (const Case& c : cases) {
        auto vm = createdHost();
        fake_->attachResults = c.attachResults;
        fake_->createdResult = c.createdResult;
        fake_->createdCounts = c.createdCounts;
        EXPECT_EQ(vm->getJNIEnv() != nullptr, c.environment);
        EXPECT_EQ(fake_->attachCalls, c.attachCalls);
        EXPECT_EQ(fake_->createdCalls, c.createdCalls);  // with the one before creating
        EXPECT_EQ(fake_->createdBufferLength, 1);
        EXPECT_EQ(newEntries(), c.log);
    }
}

TEST_F(VmAttach, ThreadDetachesOnRequest) {
    auto vm = createdHost();
    vm->detachCurrentThread();
    EXPECT_EQ(fake_->detachCalls, 1);
}

TEST_F(VmAttach, WithoutVmThereIsNothingToAttachTo) {
    auto vm = createdHost(-1);
    EXPECT_EQ(vm->getJNIEnv(), nullptr);
    vm->detachCurrentThread();
    EXPECT_EQ(fake_->attachCalls + fake_->detachCalls, 0);
}

TEST_F(VmAttach, DestructorDetachesAndKeepsTheLibraryOfACreatedVm) {
    auto vm = createdHost();
    vm.reset();
    EXPECT_EQ(fake_->detachCalls, 1);
    EXPECT_TRUE(releaseAndCheckLoaded(home_)) << "the VM's threads would run unloaded code";
}

}  // namespace
}  // namespace vmtest
