// Threads get their JNI environment from the JVM host, attaching to the VM, with one retry
// through the VM list when an attach fails; they detach on request; and the host keeps the
// VM library for the life of the process once a VM exists. Concurrent attaching is checked
// with the installed JDK.
#include <gtest/gtest.h>

#include <memory>

#include "native/isapi/jvm/java_vm.h"
#include "vm_test_bed.h"

namespace vmtest {
namespace {

using brevant::isapi::CJavaVM;
using brevant::isapi::JVM_DEFAULT;

class VmAttach : public VmTestBed {
  protected:
    void SetUp() override {
        VmTestBed::SetUp();
        home_ = fakeJavaHome("runtime");
        setRegistry(installation(kJavaSoftRuntime, "1.2", home_));
    }

    // The host with its VM created; the settings block is dropped from the log.
    std::unique_ptr<CJavaVM> createdHost() {
        auto vm = host(JVM_DEFAULT);
        blockSize_ = logEntries().size();
        return vm;
    }

    Lines messages() const {
        Lines entries = logEntries();
        return Lines(entries.begin() + static_cast<long>(blockSize_), entries.end());
    }

    std::string home_;
    size_t blockSize_ = 0;
};

TEST_F(VmAttach, AttachedThreadGetsItsEnvironmentAndDetaches) {
    FakeJvmControl& fake = control(home_);
    auto vm = createdHost();
    ASSERT_TRUE(vm->hasVM());
    EXPECT_NE(vm->getJNIEnv(), nullptr);
    EXPECT_EQ(fake.attachCalls, 1);
    vm->detachCurrentThread();
    EXPECT_EQ(fake.detachCalls, 1);
    EXPECT_EQ(fake.createdCalls, 1);  // only the one before creating
    EXPECT_EQ(messages(), Lines{});
}

TEST_F(VmAttach, FailedAttachIsTriedOnceMoreWithTheVmList) {
    FakeJvmControl& fake = control(home_);
    fake.attachResults = {-1};
    auto vm = createdHost();
    EXPECT_NE(vm->getJNIEnv(), nullptr);
    EXPECT_EQ(fake.attachCalls, 2);
    EXPECT_EQ(fake.createdCalls, 1 + 1);  // the one before creating, the one of the retry
    EXPECT_EQ(fake.createdBufferLength, 1);
    EXPECT_EQ(messages(),
              (Lines{"CJavaVM::getJNIEnv(): AttachCurrentThread() failed, error = -1.",
                     "CJavaVM::getJNIEnv(): AttachCurrentThread() second try success."}));
}

TEST_F(VmAttach, SecondFailureGivesNoEnvironmentAndNoFurtherMessage) {
    FakeJvmControl& fake = control(home_);
    fake.attachResults = {-3, -4};
    auto vm = createdHost();
    EXPECT_EQ(vm->getJNIEnv(), nullptr);
    EXPECT_EQ(fake.attachCalls, 2);
    EXPECT_EQ(messages(),
              (Lines{"CJavaVM::getJNIEnv(): AttachCurrentThread() failed, error = -3."}));

    // The VM list failing too ends the retry before a second attach.
    fake.attachResults = {JNI_OK, JNI_OK, -2};
    fake.createdResult = -1;
    EXPECT_EQ(vm->getJNIEnv(), nullptr);
    EXPECT_EQ(fake.attachCalls, 3);
    EXPECT_EQ(messages().back(), "CJavaVM::getJNIEnv(): AttachCurrentThread() failed, error = -2.");

    // And so does a list without a VM.
    fake.attachResults = {JNI_OK, JNI_OK, JNI_OK, -6};
    fake.createdResult = JNI_OK;
    fake.createdCounts = {0};
    EXPECT_EQ(vm->getJNIEnv(), nullptr);
    EXPECT_EQ(fake.attachCalls, 4);
    EXPECT_EQ(messages().size(), 3u);
}

TEST_F(VmAttach, WithoutVmThereIsNothingToAttachTo) {
    FakeJvmControl& fake = control(home_);
    fake.createResult = -1;
    fake.createdResult = -1;
    auto vm = createdHost();
    EXPECT_EQ(vm->getJNIEnv(), nullptr);
    vm->detachCurrentThread();
    EXPECT_EQ(fake.attachCalls, 0);
    EXPECT_EQ(fake.detachCalls, 0);
}

TEST_F(VmAttach, DestructorDetachesAndKeepsTheLibraryOfACreatedVm) {
    FakeJvmControl& fake = control(home_);
    auto vm = createdHost();
    ASSERT_TRUE(vm->hasVM());
    vm.reset();
    EXPECT_EQ(fake.detachCalls, 1);
    EXPECT_TRUE(releaseAndCheckLoaded(home_)) << "the VM's threads would run unloaded code";
}

}  // namespace
}  // namespace vmtest
