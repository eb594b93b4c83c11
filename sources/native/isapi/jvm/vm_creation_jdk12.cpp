// Creating a 1.2 or later VM: the settings translated into option strings, each setting
// logged as it is decided, the hooks passed as the "vfprintf", "exit" and "abort" options,
// the platform's own option, and the administrator's own options last.
//
// Contents:
//   Option                           file-static: an option string and its hook
//   heapSize()                       file-static: the least heap a kind starts with
//   hookInfo()                       file-static: a hook as an option's extraInfo
//   CJavaVM::createJava12VM()
#include <vector>

#include "native/isapi/isapi_platform.h"
#include "native/isapi/jvm/java_vm.h"
#include "native/isapi/jvm/vm_hooks.h"
#include "native/isapi/jvm/vm_log.h"

namespace brevant::isapi {

using jvmhost::formatText;
using jvmhost::logLine;

namespace {

constexpr jint kHotSpotLeastHeap = 2097152;  // HotSpot refuses to start with less
constexpr jint kClassicLeastHeap = 1048576;
constexpr jint kDefaultMaxHeap = 16777216;

// An option and, for the hooks, the function it carries. The text lives here until the
// VM has been created.
struct Option {
    std::string text;
    void* extraInfo = nullptr;
};

// The smallest heap a kind starts with; what is asked for must exceed it.
jint heapSize(jint asked, jint least, jint fallback, bool hotSpot) {
    if (asked > least) {
        return asked;
    }
    if (hotSpot) {
        logLine("HotSpot requires at least 2M of heap space.");
    }
    return fallback;
}

// JNI hands a hook to the VM as an option's extraInfo, a data pointer.
template <typename Function>
void* hookInfo(Function function) {
    return reinterpret_cast<void*>(function);
}

}  // namespace

void CJavaVM::createJava12VM(int optionCount, const std::string options[],
                             const JDK1_1InitArgs& settings) {
    const bool hotSpot = vmKind_ == JVM_HOTSPOT;
    const jint least = hotSpot ? kHotSpotLeastHeap : kClassicLeastHeap;

    jint initialHeap = heapSize(settings.minHeapSize, least, least, hotSpot);
    std::string initialHeapOption = formatText("-Xms%d", static_cast<int>(initialHeap));
    logLine(formatText("Min Heap Size     = %d bytes", static_cast<int>(initialHeap)));
    jint maximumHeap = heapSize(settings.maxHeapSize, least, kDefaultMaxHeap, hotSpot);
    // A current HotSpot ends the whole process when the initial heap exceeds the maximum.
    if (maximumHeap < initialHeap) {
        logLine("Max Heap Size raised to the Min Heap Size.");
        maximumHeap = initialHeap;
    }
    std::string maximumHeapOption = formatText("-Xmx%d", static_cast<int>(maximumHeap));
    logLine(formatText("Max Heap Size     = %d bytes", static_cast<int>(maximumHeap)));

    // A current JDK prints verbose output only through unified logging, and only to a
    // stream that reaches the vfprintf hook: stdout, one line per call, without decorations.
    // These and the platform's option are the options added to the administrator's.
    std::string verboseOption;
    std::vector<std::string> addedOptions;
    if (settings.enableVerboseGC == 1) {
        logLine("Verbose GC        = Enabled");
        verboseOption = "-verbose:gc";
        addedOptions.push_back("-Xlog:gc:stdout:none");
        if (settings.verbose == 1) {
            logLine("Verbose           = Enabled");
            verboseOption += ",class";
            addedOptions.push_back("-Xlog:class+load:stdout:none");
        } else {
            logLine("Verbose           = Disabled");
        }
    } else {
        logLine("Verbose GC        = Disabled");
        if (settings.verbose == 1) {
            logLine("Verbose           = Enabled");
            verboseOption = "-verbose:class";
            addedOptions.push_back("-Xlog:class+load:stdout:none");
        } else {
            logLine("Verbose           = Disabled");
        }
    }

    std::string jitOption;
    if (isJitOn(settings.properties)) {
        logLine("JITC              = Enabled");
        jitOption = vmKind_ == JVM_IBM ? "-Djava.compiler=ibmjitc" : "-Djava.compiler=symcjit";
    } else {
        logLine("JITC              = Disabled");
        jitOption = "-Djava.compiler=NONE";
    }

    const bool classGC = settings.enableClassGC == 1;
    logLine(classGC ? "Class GC          = Enabled" : "Class GC          = Disabled");

    std::string classpath = "NONE";
    if (settings.classpath != nullptr && settings.classpath[0] != '\0') {
        classpath = settings.classpath;
        if (isJDK_) {
            classpath += kClasspathSeparator + javaHome_ + kToolsJar;
        }
    }
    logLine(formatText("Classpath         = %s", classpath.c_str()));

    std::vector<Option> list;
    list.push_back({initialHeapOption});
    list.push_back({maximumHeapOption});
    list.push_back({jitOption});
    list.push_back({"-Djava.class.path=" + classpath});
    list.push_back({"vfprintf", hookInfo(vmMessage)});
    list.push_back({"exit", hookInfo(vmExit)});
    list.push_back({"abort", hookInfo(vmAbort)});
    if (!verboseOption.empty()) {
        list.push_back({verboseOption});
    }
    if (!classGC) {
        list.push_back({"-Xnoclassgc"});
    }
    // Ahead of the administrator's options, so that an option of theirs can still undo one.
    if (kPlatformVMOption[0] != '\0') {
        addedOptions.push_back(kPlatformVMOption);
    }
    for (const std::string& option : addedOptions) {
        list.push_back({option});
    }
    for (int i = 0; i < optionCount; ++i) {
        list.push_back({options[i]});
    }

    if (!addedOptions.empty() || optionCount > 0) {
        logLine("Additional VM options:");
        for (const std::string& option : addedOptions) {
            logLine(option);
        }
        for (int i = 0; i < optionCount; ++i) {
            logLine(options[i]);
        }
    }

    std::vector<JavaVMOption> vmOptions;
    vmOptions.reserve(list.size());
    for (Option& option : list) {
        vmOptions.push_back(JavaVMOption{option.text.data(), option.extraInfo});
    }
    JavaVMInitArgs arguments{};
    arguments.version = JNI_VERSION_1_2;
    arguments.nOptions = static_cast<jint>(vmOptions.size());
    arguments.options = vmOptions.data();
    arguments.ignoreUnrecognized = JNI_TRUE;  // a VM skips the options it does not know
    createJavaVM(&arguments, "Java VM");
}

}  // namespace brevant::isapi
