#include "vm_test_bed.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>

#include "native/isapi/isapi_platform.h"
#include "log_entries.h"
#include "native/isapi/log/native_log.h"
#include "native/isapi/log/native_log_internal.h"

namespace vmtest {

namespace {

std::string vmLibraryOf(const std::string& home) {
    return home + brevant::isapi::kLinuxJvmLibrary;
}

FakeJvmControl& controlOf(void* handle) {
    auto block = reinterpret_cast<FakeJvmControlBlockFunction>(
        reinterpret_cast<void (*)()>(dlsym(handle, "FakeJvmControlBlock")));
    if (block == nullptr) {
        ADD_FAILURE() << "the fake has no control block";
        std::abort();
    }
    return *block();
}

}  // namespace

void VmTestBed::SetUp() {
    ASSERT_FALSE(brevant::isapi::hasNativeLog());
    const char* before = getenv("STANDIN_REGISTRY");
    registryBefore_ = before != nullptr ? before : "";
    setenv("STANDIN_REGISTRY", scratch_.file("registry.reg").c_str(), 1);
    setRegistry("");
    brevant::isapi::openNativeLog(scratch_.file("BrevantNative.log"));
}

void VmTestBed::TearDown() {
    brevant::isapi::closeNativeLog();
    for (auto& [path, handle] : loaded_) {
        dlclose(handle);
    }
    loaded_.clear();
    setenv("STANDIN_REGISTRY", registryBefore_.c_str(), 1);
}

void VmTestBed::setRegistry(const std::string& sections) {
    writeRegistry(scratch_.file("registry.reg"), sections);
}

std::string VmTestBed::emptyJavaHome(const std::string& name) {
    const std::string home = scratch_.file(name);
    std::filesystem::create_directories(home);
    return home;
}

std::string VmTestBed::fakeJavaHome(const std::string& name, const char* fake) {
    const std::string home = emptyJavaHome(name);
    const std::filesystem::path library = vmLibraryOf(home);
    std::filesystem::create_directories(library.parent_path());
    std::filesystem::copy_file(fake, library);
    return home;
}

FakeJvmControl& VmTestBed::control(const std::string& home) {
    return controlOf(loaded(vmLibraryOf(home)));
}

FakeJvmControl& VmTestBed::microsoftControl() {
    // Loaded by name beside the program: it may stay loaded from an earlier test.
    const std::string program = std::filesystem::read_symlink("/proc/self/exe");
    FakeJvmControl& control =
        controlOf(loaded(program.substr(0, program.rfind('/')) + "/msjava.dll"));
    control.reset();
    return control;
}

// The bed's own reference, given back by TearDown or releaseAndCheckLoaded.
void* VmTestBed::loaded(const std::string& path) {
    void*& handle = loaded_[path];
    if (handle == nullptr && (handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) == nullptr) {
        ADD_FAILURE() << "cannot load " << path << ": " << dlerror();
        std::abort();
    }
    return handle;
}

bool VmTestBed::releaseAndCheckLoaded(const std::string& home) {
    const std::string path = vmLibraryOf(home);
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

std::vector<std::string> VmTestBed::logEntries() const {
    return nativeLogEntries(scratch_.file("BrevantNative.log"));
}

}  // namespace vmtest
