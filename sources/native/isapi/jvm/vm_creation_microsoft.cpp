// Creating the Microsoft VM: its defaults, with the settings' class path added to the
// default one. It takes no other setting, option or hook.
//
// Contents:
//   CJavaVM::createMicrosoftJavaVM()
#include "native/isapi/isapi_platform.h"
#include "native/isapi/jvm/java_vm.h"
#include "native/isapi/jvm/microsoft_init_args.h"
#include "native/isapi/jvm/vm_log.h"

namespace brevant::isapi {

using jvmhost::formatText;
using jvmhost::logLine;

void CJavaVM::createMicrosoftJavaVM(const JDK1_1InitArgs& settings) {
    MicrosoftInitArgs arguments{};
    arguments.version = JNI_VERSION_1_1;
    if (jniGetDefaultJavaVMInitArgs_(&arguments) < 0) {
        logLine("CJavaVM::CJavaVM(): jniGetDefaultJavaVMInitArgs() failed.");
        releaseLibrary();
        return;
    }
    std::string classpath = arguments.classpath != nullptr ? arguments.classpath : "";
    if (settings.classpath != nullptr && settings.classpath[0] != '\0') {
        if (!classpath.empty()) {
            classpath += kClasspathSeparator;
        }
        classpath += settings.classpath;
    }
    arguments.classpath = classpath.data();
    logLine(formatText("Classpath         = %s", classpath.c_str()));
    createJavaVM(&arguments, "MS Java VM");
}

}  // namespace brevant::isapi
