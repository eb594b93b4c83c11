#include "vm_test_bed.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <climits>
#include <filesystem>

#include "isapi_platform.h"
#include "log_entries.h"
#include "native_log.h"

namespace vmtest {

namespace {

const char* fakeLibraryFile(FakeVariant variant) {
    switch (variant) {
        case FakeVariant::kWithoutDefaults:
            return FAKE_JVM_WITHOUT_DEFAULTS;
        case FakeVariant::kWithoutCreate:
            return FAKE_JVM_WITHOUT_CREATE;
        case FakeVariant::kWithoutCreated:
            return FAKE_JVM_WITHOUT_CREATED;
        case FakeVariant::kComplete:
            break;
    }
    return FAKE_JVM_COMPLETE;
}

std::string programFolder() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    std::string program(path, length > 0 ? static_cast<size_t>(length) : 0);
    return program.substr(0, program.find_last_of('/'));
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
    setenv("STANDIN_REGISTRY", (scratch() + "/registry.reg").c_str(), 1);
    setRegistry("");
    brevant::isapi::openNativeLog(scratch() + "/BrevantNative.log");
}

void VmTestBed::TearDown() {
    brevant::isapi::closeNativeLog();
    for (auto& [path, handle] : loaded_) {
        if (handle != nullptr) {
            dlclose(handle);
        }
    }
    loaded_.clear();
    setenv("STANDIN_REGISTRY", registryBefore_.c_str(), 1);
}

void VmTestBed::setRegistry(const std::string& sections) {
    writeRegistry(scratch() + "/registry.reg", sections);
}

std::string VmTestBed::emptyJavaHome(const std::string& name) {
    std::string home = scratch() + "/" + name;
    std::filesystem::create_directories(home);
    return home;
}

std::string VmTestBed::vmLibraryOf(const std::string& home) const {
    return home + brevant::isapi::kLinuxJvmLibrary;
}

std::string VmTestBed::fakeJavaHome(const std::string& name, FakeVariant variant) {
    std::string home = emptyJavaHome(name);
    std::filesystem::path library = vmLibraryOf(home);
    std::filesystem::create_directories(library.parent_path());
    std::filesystem::copy_file(fakeLibraryFile(variant), library);
    return home;
}

FakeJvmControl& VmTestBed::control(const std::string& home) {
    return controlOf(loaded(vmLibraryOf(home), false));
}

FakeJvmControl& VmTestBed::microsoftControl() {
    return controlOf(loaded(programFolder() + "/msjava.dll", true));
}

void* VmTestBed::loaded(const std::string& path, bool reset) {
    auto found = loaded_.find(path);
    if (found != loaded_.end()) {
        return found->second;
    }
    // The bed's own reference, given back by TearDown or releaseAndCheckLoaded.
    loaded_[path] = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (loaded_[path] == nullptr) {
        ADD_FAILURE() << "cannot load " << path << ": " << dlerror();
        std::abort();
    }
    if (reset) {
        controlOf(loaded_[path]).reset();  // it may stay loaded from an earlier test
    }
    return loaded_[path];
}

bool VmTestBed::releaseAndCheckLoaded(const std::string& home) {
    std::string path = vmLibraryOf(home);
    auto found = loaded_.find(path);
    if (found != loaded_.end()) {
        dlclose(found->second);
        loaded_.erase(found);
    }
    void* stillThere = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (stillThere == nullptr) {
        return false;
    }
    dlclose(stillThere);
    return true;
}

std::vector<std::string> VmTestBed::logEntries() const {
    return nativeLogEntries(scratch() + "/BrevantNative.log");
}

}  // namespace vmtest
