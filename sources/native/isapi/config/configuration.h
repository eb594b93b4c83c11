// The connector's local configuration: where the product is installed (the registry value
// "Home"), the directories under that home, and the four optional files of the data
// directory that say how the Java VM is to be started. Also the assembly of all of it into
// the start-up configuration that the JVM host is constructed from.
//
// Nothing is cached: every call reads the registry and its file anew. The readers are
// meant for the thread that initialises the engine bridge, before any VM exists; they
// keep no shared state, so concurrent calls are safe but pointless. Failures never stop
// start-up: they are logged (files) or sent to the debugger output (registry) and give the
// documented defaults.
#ifndef BREVANT_ISAPI_CONFIG_CONFIGURATION_H
#define BREVANT_ISAPI_CONFIG_CONFIGURATION_H

#include <functional>
#include <string>
#include <vector>

#include "native/isapi/jvm/java_vm_kind.h"
#include "native/isapi/jvm/jdk11_init_args.h"
#include "native/isapi/jvm/vm_option_slots.h"

namespace brevant::isapi {

constexpr int kMaxVMProperties = 31;  // property slots after the JIT property

// The install home, without a trailing separator: the registry value "Home" of
// HKEY_LOCAL_MACHINE\SOFTWARE\Orlena\Brevant ISAPI up to its first NUL, or kDefaultHome
// when the key or the value cannot be read.
std::string getHomeDirectory();

// home + separator + "Brevant Data": where the four configuration files live.
std::string getDataDirectory();

// home + separator + "Servlets".
std::string getServletsDirectory();

// The three jars of home's lib folder, then the entries of Classpath.pref, or home's
// "classes" folder when there is no Classpath.pref; joined by the class-path separator.
std::string getClasspath();

// Resets *settings to the JNI 1.1 defaults, applies VMSettings.pref and returns the kind
// of VM it asks for. settings->properties is left pointing at a static one-entry JIT
// list ("java.compiler=symcjit" or "java.compiler="), or null when the file exists but
// says nothing of the JIT.
// REQUIRES: settings != nullptr.
JavaVMKind getVMSettings(JDK1_1InitArgs* settings);

// Fills options[0..count) from vmoptions.properties and returns count (0 to kMaxVMOptions).
int getVMOptions(std::string options[kMaxVMOptions]);

// Fills slots[0..count) from vmproperties.properties with copies allocated by new[] that
// the caller deletes with delete[], and returns count (0 to kMaxVMProperties). Slots past
// count are not touched.
// REQUIRES: slots has room for kMaxVMProperties entries.
int getVMProperties(char** slots);

// Everything the JVM host is constructed from. settings.properties points into
// `properties` and settings.classpath into `classpath`, so the object stays where it was
// assembled: it can be neither copied nor moved. It owns the property copies.
struct StartupConfiguration {
    StartupConfiguration() = default;
    ~StartupConfiguration() { releaseProperties(); }
    StartupConfiguration(const StartupConfiguration&) = delete;
    StartupConfiguration& operator=(const StartupConfiguration&) = delete;

    // Frees the property copies and empties settings.properties. The engine bridge calls
    // it once the JVM host has obtained its first JNI environment; the VM has copied the
    // properties by then. Safe to call more than once.
    void releaseProperties();

    JavaVMKind kind = JVM_DEFAULT;
    JDK1_1InitArgs settings{};
    std::vector<char*> properties;  // JIT property, the file's properties, null
    std::string classpath;
    int optionCount = 0;
    std::string options[kMaxVMOptions];
};

// Where an assembly reads each piece; by default the install home's files through the
// readers above. The engine bridge passes its own virtual operations.
struct ConfigurationReaders {
    std::function<JavaVMKind(JDK1_1InitArgs*)> getVMSettings = brevant::isapi::getVMSettings;
    std::function<int(char**)> getVMProperties = brevant::isapi::getVMProperties;
    std::function<std::string()> getClasspath = brevant::isapi::getClasspath;
    std::function<int(std::string*)> getVMOptions = brevant::isapi::getVMOptions;
};

// Reads the settings, chooses the JIT property, reads the properties, the class path and
// the options into *configuration, in that order, and points the settings record at the
// property list and the class path. Property copies of an earlier assembly are released
// first. Returns false only when configuration is null.
bool assembleStartupConfiguration(StartupConfiguration* configuration,
                                  const ConfigurationReaders& readers = ConfigurationReaders());

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_CONFIG_CONFIGURATION_H
