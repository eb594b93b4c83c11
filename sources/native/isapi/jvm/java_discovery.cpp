// Finding an installed Java runtime: the registry keys of the JavaSoft, IBM and Microsoft
// installers, searched as the administrator's javaVM setting asks.
//
// Contents:
//   kJavaSoftKeys, kIBMTechKeys, kIBMWin32Keys   file-static: the keys, in search order
//   countOf()                                    file-static
//   CJavaVM::findJavaInstallation()              by kind: Microsoft, IBM then JavaSoft, JavaSoft
//   CJavaVM::findJavaSoftInstallation()          logs when no JavaSoft key exists at all
//   CJavaVM::findIBMTechInstallation()
//   CJavaVM::findIBMWin32Installation()
//   CJavaVM::findInstallation()                  the first key that opens decides
//   CJavaVM::readJavaVersionAndHome()            "CurrentVersion", then the subkey's "JavaHome"
#include <cstring>

#include "native/isapi/jvm/java_vm.h"
#include "native/isapi/registry/registry_text.h"
#include "native/isapi/jvm/vm_log.h"

namespace brevant::isapi {

using jvmhost::InstallationKey;
using jvmhost::logLine;

namespace {

// The kit key comes first in each pair: a kit wins over a runtime of the same vendor.
// Oracle's current installers write the last two.
constexpr InstallationKey kJavaSoftKeys[] = {
    {"SOFTWARE\\JavaSoft\\Java Development Kit", true},
    {"SOFTWARE\\JavaSoft\\Java Runtime Environment", false},
    {"SOFTWARE\\JavaSoft\\JDK", true},
    {"SOFTWARE\\JavaSoft\\JRE", false},
};
constexpr InstallationKey kIBMTechKeys[] = {
    {"SOFTWARE\\IBM\\IBM Developer Kit, Java(TM) Tech. Edition", true},
    {"SOFTWARE\\IBM\\IBM Runtime Environment, Java(TM) Tech. Edition", false},
};
constexpr InstallationKey kIBMWin32Keys[] = {
    {"SOFTWARE\\IBM\\IBM WIN32 Developer Kit, Java(TM) Edition", true},
    {"SOFTWARE\\IBM\\IBM WIN32 Runtime Environment, Java(TM) Edition", false},
};

template <size_t N>
constexpr int countOf(const InstallationKey (&)[N]) {
    return static_cast<int>(N);
}

}  // namespace

bool CJavaVM::findJavaInstallation() {
    switch (vmKind_) {
        case JVM_MICROSOFT:
            // The Microsoft VM is part of the system: msjava.dll, found by name.
            isJDK_ = false;
            version_ = "1.1";
            isVersion11_ = true;
            return true;
        case JVM_IBM:
            if (findIBMTechInstallation() || findIBMWin32Installation()) {
                return true;
            }
            if (findJavaSoftInstallation()) {
                vmKind_ = JVM_DEFAULT;  // a JavaSoft VM is used in its own default way
                return true;
            }
            return false;
        default:
            return findJavaSoftInstallation();
    }
}

bool CJavaVM::findJavaSoftInstallation() {
    bool anyKeyOpened = false;
    bool found = findInstallation(kJavaSoftKeys, countOf(kJavaSoftKeys), &anyKeyOpened);
    if (!anyKeyOpened) {
        logLine("neither JDK nor JRE installed.");
    }
    return found;
}

bool CJavaVM::findIBMTechInstallation() {
    bool anyKeyOpened = false;
    return findInstallation(kIBMTechKeys, countOf(kIBMTechKeys), &anyKeyOpened);
}

bool CJavaVM::findIBMWin32Installation() {
    bool anyKeyOpened = false;
    return findInstallation(kIBMWin32Keys, countOf(kIBMWin32Keys), &anyKeyOpened);
}

bool CJavaVM::findInstallation(const InstallationKey* keys, int count, bool* anyKeyOpened) {
    jvm_ = nullptr;
    isJDK_ = true;
    for (int i = 0; i < count; ++i) {
        RegistryKey key;
        if (key.open(keys[i].path)) {
            *anyKeyOpened = true;
            isJDK_ = keys[i].isJDK;
            // The first key that opens decides, even when its version subkey is missing.
            return readJavaVersionAndHome(key.get(), keys[i].path);
        }
    }
    *anyKeyOpened = false;
    return false;
}

bool CJavaVM::readJavaVersionAndHome(HKEY key, const std::string& keyPath) {
    version_ = "1.2";
    readRegistryText(key, "CurrentVersion", &version_);
    isVersion11_ = version_.compare(0, 3, "1.1") == 0;
    // From 1.3 on a runtime ships HotSpot, and it is what the runtime itself runs by default.
    if (!isJDK_ && version_.compare(0, 3, "1.3") == 0 && vmKind_ == JVM_DEFAULT) {
        vmKind_ = JVM_HOTSPOT;
    }

    std::string versionPath = keyPath + "\\" + version_;
    RegistryKey versionKey;
    if (!versionKey.open(versionPath)) {
        return false;
    }
    std::string home;
    switch (readRegistryText(versionKey.get(), "JavaHome", &home)) {
        case RegistryTextResult::kNoSize:
            logLine("Failed to read " + versionPath + "\\JavaHome");
            return false;
        case RegistryTextResult::kNotRead:
            return false;
        case RegistryTextResult::kRead:
            break;
    }
    javaHome_ += home;
    return true;
}

}  // namespace brevant::isapi
