// A world of its own for each JVM host test: a registry file that the test fills with Java
// installations, fake Java homes holding copies of the fake VM library, and a native log on
// a file whose entries the test reads back byte for byte, stamps aside.
//
// Every fake home gets a fresh copy of the library, so each test starts from a freshly
// loaded fake. The bed keeps its own reference to every fake it hands out a control block
// for, so that the control block outlives the JVM host; releaseAndCheckLoaded() gives that
// reference back and tells whether the JVM host still holds the library.
// Single-threaded set-up (it changes the process environment); the JVM host may then be
// driven from many threads.
#ifndef TESTS_UNIT_ISAPI_VM_VM_TEST_BED_H
#define TESTS_UNIT_ISAPI_VM_VM_TEST_BED_H

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "fake_jvm_control.h"
#include "java_installations.h"
#include "java_vm_kind.h"
#include "test_paths.h"

namespace vmtest {

enum class FakeVariant {
    kComplete,
    kWithoutDefaults,  // no JNI_GetDefaultJavaVMInitArgs
    kWithoutCreate,    // no JNI_CreateJavaVM
    kWithoutCreated,   // no JNI_GetCreatedJavaVMs
};

class VmTestBed : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Replaces the registry with REGEDIT4 sections (installation() and friends).
    void setRegistry(const std::string& sections);

    // A new Java home `name` with a copy of the fake at the place of the VM library.
    std::string fakeJavaHome(const std::string& name, FakeVariant variant = FakeVariant::kComplete);
    // A new Java home without a VM library.
    std::string emptyJavaHome(const std::string& name);
    std::string vmLibraryOf(const std::string& home) const;

    // The control block of the fake in `home`, loaded by the bed.
    FakeJvmControl& control(const std::string& home);
    // The control block of the fake Microsoft VM, msjava.dll beside the test program, reset.
    FakeJvmControl& microsoftControl();
    // Gives back the bed's reference to the fake in `home`; true when the library is still
    // loaded, i.e. the JVM host holds it.
    bool releaseAndCheckLoaded(const std::string& home);

    // The native log's entries since SetUp, without stamps and "Logging started".
    std::vector<std::string> logEntries() const;

    const std::string& scratch() const { return scratch_.path(); }

  private:
    // The library at `path`, loaded by the bed once per test; `reset` its control block then.
    void* loaded(const std::string& path, bool reset);

    testsupport::ScratchDir scratch_{"jvm-host"};
    std::string registryBefore_;
    std::map<std::string, void*> loaded_;  // library path -> the bed's dlopen handle
};

}  // namespace vmtest

#endif  // TESTS_UNIT_ISAPI_VM_VM_TEST_BED_H
