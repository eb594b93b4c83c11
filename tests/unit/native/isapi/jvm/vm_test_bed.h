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
#include <vector>

#include "fake_jvm_control.h"
#include "java_installations.h"
#include "native/isapi/jvm/java_vm.h"
#include "native/isapi/jvm/java_vm_kind.h"
#include "test_paths.h"

namespace vmtest {

class VmTestBed : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Replaces the registry with REGEDIT4 sections (installation() and friends).
    void setRegistry(const std::string& sections);

    // A new Java home `name` with a copy of `fake` (one of the FAKE_JVM_* libraries) at the
    // place of the VM library.
    std::string fakeJavaHome(const std::string& name, const char* fake = FAKE_JVM_COMPLETE);
    // A new Java home without a VM library.
    std::string emptyJavaHome(const std::string& name);

    // The control block of the fake in `home`, loaded by the bed.
    FakeJvmControl& control(const std::string& home);
    // The control block of the fake Microsoft VM, msjava.dll beside the test program, reset.
    FakeJvmControl& microsoftControl();
    // Gives back the bed's reference to the fake in `home`; true when the JVM host still
    // holds the library.
    bool releaseAndCheckLoaded(const std::string& home);

    // The native log's entries since SetUp, without stamps and "Logging started".
    std::vector<std::string> logEntries() const;

    // A JVM host for `kind` with the first `optionCount` options, the settings and the
    // class path below.
    std::unique_ptr<brevant::isapi::CJavaVM> host(brevant::isapi::JavaVMKind kind,
                                                  int optionCount = 0) {
        settings_.classpath = classpath_.empty() ? nullptr : classpath_.data();
        return std::make_unique<brevant::isapi::CJavaVM>(kind, optionCount, options_, settings_);
    }
    std::string options_[32];
    std::string classpath_;
    brevant::isapi::JDK1_1InitArgs settings_ = defaultSettings();

  private:
    void* loaded(const std::string& path);

    testsupport::ScratchDir scratch_{"jvm-host"};
    std::string registryBefore_;
    std::map<std::string, void*> loaded_;  // library path -> the bed's dlopen handle
};

}  // namespace vmtest

#endif  // TESTS_UNIT_NATIVE_ISAPI_JVM_VM_TEST_BED_H
