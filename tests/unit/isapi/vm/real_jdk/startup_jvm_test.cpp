// From an install home to a running VM, as the engine bridge will do it: the registry names
// the home, the four configuration files of its data folder make the start-up
// configuration, the JVM host creates the installed JDK's VM from it, an attached thread
// calls into Java, and the native log holds the settings block the administrator can read.
#include <stdlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "configuration.h"
#include "java_installations.h"
#include "java_vm.h"
#include "native_log.h"
#include "real_jvm_process.h"
#include "test_paths.h"

namespace realjvm {
namespace {

using brevant::isapi::CJavaVM;
using brevant::isapi::JVM_HOTSPOT;
using brevant::isapi::StartupConfiguration;

class StartupFromHome : public testing::Test {
  protected:
    void SetUp() override {
        const char* before = getenv("STANDIN_REGISTRY");
        registryBefore_ = before != nullptr ? before : "";
        setenv("STANDIN_REGISTRY", scratch_.file("registry.reg").c_str(), 1);
        std::filesystem::create_directories(dataDirectory());
    }
    void TearDown() override { setenv("STANDIN_REGISTRY", registryBefore_.c_str(), 1); }

    std::string home() const { return scratch_.file("Brevant ISAPI"); }
    std::string dataDirectory() const { return home() + "/Brevant Data"; }
    void writeData(const std::string& name, const std::string& text) const {
        testsupport::writeFile(dataDirectory() + "/" + name, text);
    }

    testsupport::ScratchDir scratch_{"startup-jvm"};
    std::string registryBefore_;
};

TEST_F(StartupFromHome, SeededHomeStartsTheInstalledJdkAndLogsItsSettings) {
    vmtest::writeRegistry(scratch_.file("registry.reg"),
                          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlena\\Brevant ISAPI]\n"
                          "\"Home\"=" +
                              vmtest::quotedValue(home()) + "\n\n" +
                              vmtest::installation(vmtest::kCurrentKit, "17", jdkHome()));
    writeData("VMSettings.pref",
              "javaVM=HOTSPOT\n"
              "minHeapSize=8192\n"
              "maxHeapSize=131072\n"
              "enableVerboseGC=true\n"
              "verbose=false\n"
              "enableJITC=true\n"
              "enableClassGC=true\n"
              "verify=ALL\n");
    writeData("Classpath.pref", home() + "/extra.jar\n" + home() + "/more classes\n");
    writeData("vmoptions.properties",
              "# the administrator's own\n-Dbrevant.option=from-file\n"
              "-Xss1m\n");
    writeData("vmproperties.properties", "brevant.property=not-for-a-current-vm\n");
    const std::string logPath = brevant::isapi::nativeLogPath(home());

    int status = runInOwnProcess(logPath, [&] {
        StartupConfiguration configuration;
        if (!assembleStartupConfiguration(&configuration)) {
            return failed("no start-up configuration");
        }
        CJavaVM vm(configuration.kind, configuration.optionCount, configuration.options,
                   configuration.settings);
        if (vm.getJNIEnv() == nullptr) {
            return failed("no JNI environment on the creating thread");
        }
        configuration.releaseProperties();  // the VM has its copies by now
        vm.detachCurrentThread();

        int result = 0;
        std::thread request([&] {
            JNIEnv* env = vm.getJNIEnv();
            jint port = 0;
            if (env == nullptr) {
                result = failed("no JNI environment on a request thread");
            } else if (!parseInt(env, "8080", &port) || port != 8080) {
                result = failed("Integer.parseInt(\"8080\") gave " + std::to_string(port));
            } else if (systemProperty(env, "brevant.option") != "from-file") {
                result = failed("vmoptions.properties did not reach the VM");
            } else if (systemProperty(env, "brevant.property") != "(null)") {
                result = failed("vmproperties.properties reached a current VM");
            }
            vm.detachCurrentThread();
        });
        request.join();
        return result;
    });
    ASSERT_EQ(status, 0);

    const std::string lib = home() + "/lib/";
    Lines block = logEntries(logPath);
    block.resize(std::min<size_t>(block.size(), 12));
    EXPECT_EQ(block, (Lines{
                         "Min Heap Size     = 8388608 bytes",
                         "Max Heap Size     = 134217728 bytes",
                         "Verbose GC        = Enabled",
                         "Verbose           = Disabled",
                         "JITC              = Enabled",
                         "Class GC          = Enabled",
                         "Classpath         = " + lib + "servlet.jar:" + lib + "xml.jar:" + lib +
                             "Brevant30.jar:" + home() + "/extra.jar:" + home() +
                             "/more classes:" + jdkHome() + "/lib/tools.jar",
                         "Additional VM options:",
                         "-Xlog:gc:stdout:none",
                         "-Xrs",
                         "-Dbrevant.option=from-file",
                         "-Xss1m",
                     }));
}

}  // namespace
}  // namespace realjvm
