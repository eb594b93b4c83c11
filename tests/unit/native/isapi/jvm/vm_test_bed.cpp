#include "vm_test_bed.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>

#include "native/isapi/isapi_platform.h"
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
    setenv("STANDIN_REGISTRY", registryBefore_.c_str(), 1);
}

void VmTestBed::setRegistry(const std::string& sections) {
    writeRegistry(scratch_.file("registry.reg"), sections);
}

std::string VmTestBed::fakeJavaHome(const std::string& name, const char* fake) {
    const std::string home = scratch_.file(name);
    std::filesystem::create_directories(home);
    if (fake != nullptr) {
        const std::filesystem::path library = vmLibraryOf(home);
        std::filesystem::create_directories(library.parent_path());
        std::filesystem::copy_file(fake, library);
    }
    return home;
}

FakeJvmControl& VmTestBed::install(const char* key, const std::string& version, const char* fake) {
    home_ = fakeJavaHome("home" + std::to_string(homes_++), fake);
    setRegistry(installation(key, version, home_.c_str()));
    return control(home_);
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

Lines VmTestBed::newEntries() {
    const Lines all = nativeLogEntries(scratch_.file("BrevantNative.log"));
    const Lines fresh(all.begin() + static_cast<long>(std::min(entriesSeen_, all.size())),
                      all.end());
    entriesSeen_ = all.size();
    return fresh;
}

std::unique_ptr<CJavaVM> VmTestBed::host(JavaVMKind kind, int optionCount) {
    settings_.classpath = classpath_.empty() ? nullptr : classpath_.data();
    return std::make_unique<CJavaVM>(kind, optionCount, options_, settings_);
}

}  // namespace vmtest
