// A world of its own for each JVM host test: a registry file filled with Java installations,
// fake Java homes holding fresh copies of the fake VM library (so each test starts from a
// freshly loaded fake), and a native log whose entries the test reads back.
//
// The bed holds its own reference to each fake whose control block it hands out, so that
// the block outlives the JVM host; releaseAndCheckLoaded() gives that reference back and
// tells whether the host still holds the library. Single-threaded (it changes the
// environment).
#ifndef TESTS_UNIT_NATIVE_ISAPI_JVM_VM_TEST_BED_H
#define TESTS_UNIT_NATIVE_ISAPI_JVM_VM_TEST_BED_H

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "fake_jvm_control.h"
#include "jvm_host_world.h"
#include "native/isapi/jvm/java_vm.h"
#include "test_paths.h"

namespace vmtest {

using brevant::isapi::CJavaVM;
using brevant::isapi::JavaVMKind;
using brevant::isapi::JVM_DEFAULT;
using brevant::isapi::JVM_HOTSPOT;
using brevant::isapi::JVM_IBM;
using brevant::isapi::JVM_MICROSOFT;

class VmTestBed : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Replaces the registry with REGEDIT4 sections (see installation()).
    void setRegistry(const std::string& sections);
    // A new Java home `name` holding a copy of `fake` (one of the FAKE_JVM_* libraries) as
    // its VM library; a null `fake` leaves the home without one.
    std::string fakeJavaHome(const std::string& name, const char* fake = FAKE_JVM_COMPLETE);
    // The only installation: a fresh home with `fake` under `key`, which home_ names; the
    // fake's control block.
    FakeJvmControl& install(const char* key, const std::string& version = "1.2",
                            const char* fake = FAKE_JVM_COMPLETE);

    // The control block of the fake in `home`, loaded by the bed.
    FakeJvmControl& control(const std::string& home);
    // The control block of the fake Microsoft VM, msjava.dll beside the test program, reset.
    FakeJvmControl& microsoftControl();
    // Gives back the bed's reference to the fake in `home`; true when the JVM host still
    // holds the library.
    bool releaseAndCheckLoaded(const std::string& home);

    // The native log's entries since the previous call (since SetUp at first).
    Lines newEntries();

    // A JVM host for `kind` with the first `optionCount` of options_, settings_ and
    // classpath_.
    std::unique_ptr<CJavaVM> host(JavaVMKind kind, int optionCount = 0);

    std::string options_[32];
    std::string classpath_;
    brevant::isapi::JDK1_1InitArgs settings_ = defaultSettings();
    std::string home_;

  private:
    void* loaded(const std::string& path);

    testsupport::ScratchDir scratch_{"jvm-host"};
    std::string registryBefore_;
    std::map<std::string, void*> loaded_;  // library path -> the bed's dlopen handle
    size_t entriesSeen_ = 0;
    int homes_ = 0;
};

}  // namespace vmtest

#endif  // TESTS_UNIT_NATIVE_ISAPI_JVM_VM_TEST_BED_H
