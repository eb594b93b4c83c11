// Creating a JDK 1.1 VM: its own defaults overlaid with the settings, the hooks installed,
// and the settings block logged with the values as they go to the VM. A 1.1 VM takes no
// option strings.
//
// Contents:
//   enabled()                        file-static: "Enabled" / "Disabled"
//   logSettingsBlock()               file-static: the block, with the values the VM gets
//   CJavaVM::createJava11VM()

#include "native/isapi/isapi_platform.h"
#include "native/isapi/jvm/java_vm.h"
#include "native/isapi/jvm/vm_hooks.h"
#include "native/isapi/jvm/vm_log.h"

namespace brevant::isapi {

using jvmhost::formatText;
using jvmhost::logLine;

namespace {

const char* enabled(bool on) {
    return on ? "Enabled" : "Disabled";
}

void logSettingsBlock(const JDK1_1InitArgs& arguments) {
    logLine(
        formatText("Native Stack Size = %d bytes", static_cast<int>(arguments.nativeStackSize)));
    logLine(formatText("Java Stack Size   = %d bytes", static_cast<int>(arguments.javaStackSize)));
    logLine(formatText("Min Heap Size     = %d bytes", static_cast<int>(arguments.minHeapSize)));
    logLine(formatText("Max Heap Size     = %d bytes", static_cast<int>(arguments.maxHeapSize)));
    logLine(formatText("Verbose GC        = %s", enabled(arguments.enableVerboseGC != 0)));
    logLine(formatText("Verbose           = %s", enabled(arguments.verbose != 0)));
    logLine(formatText("JITC              = %s", enabled(isJitOn(arguments.properties))));
    logLine(formatText("Class GC          = %s", enabled(arguments.enableClassGC != 0)));
    logLine(formatText("Async GC          = %s", enabled(arguments.disableAsyncGC == 0)));
    const char* verify = arguments.verifyMode == 0   ? "None"
                         : arguments.verifyMode == 1 ? "Remote"
                                                     : "All";
    logLine(formatText("Verify            = %s", verify));
    logLine(formatText("Classpath         = %s", arguments.classpath));
    if (arguments.properties != nullptr && arguments.properties[0] != nullptr &&
        arguments.properties[1] != nullptr) {
        logLine("Properties:");
        for (char** property = arguments.properties + 1; *property != nullptr; ++property) {
            logLine(formatText("    %s", *property));
        }
    }
}

}  // namespace

void CJavaVM::createJava11VM(const JDK1_1InitArgs& settings) {
    JDK1_1InitArgs arguments{};
    arguments.version = JNI_VERSION_1_1;
    if (jniGetDefaultJavaVMInitArgs_(&arguments) < 0) {
        logLine("CJavaVM::CJavaVM(): jniGetDefaultJavaVMInitArgs() failed.");
        releaseLibrary();
        return;
    }

    std::string classpath;
    if (arguments.classpath != nullptr && arguments.classpath[0] != '\0') {
        classpath = arguments.classpath;
    } else {
        classpath = javaHome_ + (isJDK_ ? kClassesZip : kRtJar);
    }
    if (settings.classpath != nullptr && settings.classpath[0] != '\0') {
        classpath += kClasspathSeparator;
        classpath += settings.classpath;
    }
    arguments.classpath = classpath.data();

    // Sizes of 0 and negative switches mean "the VM's own choice".
    if (settings.nativeStackSize > 0) {
        arguments.nativeStackSize = settings.nativeStackSize;
    }
    if (settings.javaStackSize > 0) {
        arguments.javaStackSize = settings.javaStackSize;
    }
    if (settings.minHeapSize > 0) {
        arguments.minHeapSize = settings.minHeapSize;
    }
    if (settings.maxHeapSize > 0) {
        arguments.maxHeapSize = settings.maxHeapSize;
    }
    if (settings.enableVerboseGC >= 0) {
        arguments.enableVerboseGC = settings.enableVerboseGC;
    }
    if (settings.verbose >= 0) {
        arguments.verbose = settings.verbose;
    }
    if (settings.enableClassGC >= 0) {
        arguments.enableClassGC = settings.enableClassGC;
    }
    if (settings.disableAsyncGC >= 0) {
        arguments.disableAsyncGC = settings.disableAsyncGC;
    }
    if (settings.verifyMode >= 0) {
        arguments.verifyMode = settings.verifyMode;
    }
    if (settings.properties != nullptr) {
        arguments.properties = settings.properties;
    }

    arguments.vfprintf = vmMessage;
    arguments.exit = vmExit;
    arguments.abort = vmAbort;

    logSettingsBlock(arguments);
    createJavaVM(&arguments, "Java VM");
}

}  // namespace brevant::isapi
