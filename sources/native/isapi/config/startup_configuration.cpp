// The start-up configuration of the JVM host, assembled in the order the engine bridge
// reads it: settings and VM kind, JIT property, system properties, class path, options.
#include <cstring>

#include "native/isapi/config/configuration.h"

namespace brevant::isapi {

namespace {

// The JIT stays on unless the settings say enableJITC is not "true"; IBM VMs name their
// own JIT compiler.
const char* jitProperty(const JDK1_1InitArgs& settings, JavaVMKind kind) {
    const bool jitOff = settings.properties != nullptr && settings.properties[0] != nullptr &&
                        std::strcmp(settings.properties[0], "java.compiler=") == 0;
    if (jitOff) {
        return "java.compiler=";
    }
    return kind == JVM_IBM ? "java.compiler=ibmjitc" : "java.compiler=symcjit";
}

char* copyOf(const char* text) {
    const size_t length = std::strlen(text);
    char* copy = new char[length + 1];
    std::memcpy(copy, text, length + 1);
    return copy;
}

}  // namespace

void StartupConfiguration::releaseProperties() {
    for (char* property : properties) {
        delete[] property;
    }
    properties.clear();
    settings.properties = nullptr;
}

bool assembleStartupConfiguration(StartupConfiguration* configuration,
                                  const ConfigurationReaders& readers) {
    if (configuration == nullptr) {
        return false;
    }
    StartupConfiguration& c = *configuration;
    c.releaseProperties();

    c.kind = readers.getVMSettings(&c.settings);

    // Room for the JIT property, every file property and the null end; shrunk to what was
    // read before the record points into it.
    c.properties.assign(1 + kMaxVMProperties + 1, nullptr);
    c.properties[0] = copyOf(jitProperty(c.settings, c.kind));
    const int count = readers.getVMProperties(c.properties.data() + 1);
    c.properties.resize(1 + static_cast<size_t>(count) + 1);
    c.settings.properties = c.properties.data();

    c.classpath = readers.getClasspath();
    c.settings.classpath = c.classpath.data();

    c.optionCount = readers.getVMOptions(c.options);
    return true;
}

}  // namespace brevant::isapi
