// A world of its own for each JVM host test: the stand-ins' stores, fake Java homes holding
// fresh copies of a fake VM library (so that each test starts from a freshly loaded fake), and
// a native log the test reads back. The bed holds its own reference to each
// fake whose control block it hands out, so that the block outlives the JVM host.
// Single-threaded (it changes the environment).
#ifndef TESTS_UNIT_NATIVE_ISAPI_JVM_VM_TEST_BED_H
#define TESTS_UNIT_NATIVE_ISAPI_JVM_VM_TEST_BED_H

#include <dlfcn.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "fake_jvm_control.h"
#include "jvm_host_world.h"
#include "native/isapi/isapi_platform.h"
#include "native/isapi/jvm/java_vm.h"
#include "native/isapi/log/native_log.h"
#include "native/isapi/log/native_log_internal.h"
#include "standin_world.h"

namespace vmtest {

using brevant::isapi::CJavaVM;
using brevant::isapi::JavaVMKind;
using brevant::isapi::JVM_DEFAULT;
using brevant::isapi::JVM_HOTSPOT;
using brevant::isapi::JVM_IBM;
using brevant::isapi::JVM_MICROSOFT;

class VmTestBed : public isapitest::StandinWorld {
  protected:
    void SetUp() override {
        ASSERT_FALSE(brevant::isapi::hasNativeLog());
        brevant::isapi::openNativeLog(scratch_.file("BrevantNative.log"));
    }
    void TearDown() override {
        brevant::isapi::closeNativeLog();
        for (auto& [path, handle] : loaded_) {
            dlclose(handle);
        }
    }

    // A new Java home holding a copy of `fake` (a FAKE_JVM_* library; none for null).
    std::string fakeJavaHome(const std::string& name, const char* fake = FAKE_JVM_COMPLETE) {
        const std::string home = scratch_.file(name);
        std::filesystem::create_directories(home);
        if (fake != nullptr) {
            std::filesystem::create_directories(std::filesystem::path(library(home)).parent_path());
            std::filesystem::copy_file(fake, library(home));
        }
        return home;
    }
    // The only installation: a fresh home_ with `fake` under `key`; the fake's control block.
    FakeJvmControl& install(const char* key, const std::string& version = "1.2",
                            const char* fake = FAKE_JVM_COMPLETE) {
        home_ = fakeJavaHome("home" + std::to_string(homes_++), fake);
        registrySections(installation(key, version, home_.c_str()));
        return controlOf(library(home_));
    }
    // The fake Microsoft VM, msjava.dll beside the test program (it may stay loaded from an
    // earlier test), reset.
    FakeJvmControl& microsoftControl() {
        const std::string program = std::filesystem::read_symlink("/proc/self/exe");
        FakeJvmControl& control = controlOf(program.substr(0, program.rfind('/')) + "/msjava.dll");
        control.reset();
        return control;
    }
    // Gives back the bed's reference to the fake in `home`; true when the host still holds it.
    bool releaseAndCheckLoaded(const std::string& home) {
        const std::string path = library(home);
        if (auto found = loaded_.find(path); found != loaded_.end()) {
            dlclose(found->second);
            loaded_.erase(found);
        }
        void* stillThere = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (stillThere != nullptr) {
            dlclose(stillThere);
        }
        return stillThere != nullptr;
    }

    // The native log's entries since the previous call.
    Lines newEntries() {
        const Lines all = nativeLogEntries(scratch_.file("BrevantNative.log"));
        const size_t seen = std::min(std::exchange(entriesSeen_, all.size()), all.size());
        return Lines(all.begin() + static_cast<long>(seen), all.end());
    }

    // A JVM host for `kind` with the first `optionCount` of options_, settings_ and classpath_.
    std::unique_ptr<CJavaVM> host(JavaVMKind kind, int optionCount = 0) {
        settings_.classpath = classpath_.empty() ? nullptr : classpath_.data();
        return std::make_unique<CJavaVM>(kind, optionCount, options_, settings_);
    }

    std::string options_[32];
    std::string classpath_;
    brevant::isapi::JDK1_1InitArgs settings_ = defaultSettings();
    std::string home_;

  private:
    static std::string library(const std::string& home) {
        return home + brevant::isapi::kLinuxJvmLibrary;
    }
    FakeJvmControl& controlOf(const std::string& path) {
        void*& handle = loaded_[path];
        if (handle == nullptr &&
            (handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) == nullptr) {
            ADD_FAILURE() << "cannot load " << path << ": " << dlerror();
            std::abort();
        }
        auto block = reinterpret_cast<FakeJvmControlBlockFunction>(
            reinterpret_cast<void (*)()>(dlsym(handle, "FakeJvmControlBlock")));
        return *block();
    }

    testsupport::ScratchDir scratch_{"jvm-host"};
    std::map<std::string, void*> loaded_;  // library path -> the bed's dlopen handle
    size_t entriesSeen_ = 0;
    int homes_ = 0;
};

}  // namespace vmtest

#endif  // TESTS_UNIT_NATIVE_ISAPI_JVM_VM_TEST_BED_H
