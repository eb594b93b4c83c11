// The in-process connector's configuration files: the input is cut into the texts of
// VMSettings.pref, Classpath.pref, vmoptions.properties and vmproperties.properties (a part
// the input does not reach leaves its file absent), written into the data folder of a
// scratch install home that a scratch registry names, and assembled into the start-up
// configuration as the engine bridge assembles it.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "native/isapi/config/configuration.h"

namespace {

namespace fs = std::filesystem;
using brevant::isapi::StartupConfiguration;

constexpr const char* kFileNames[] = {"VMSettings.pref", "Classpath.pref", "vmoptions.properties",
                                      "vmproperties.properties"};
constexpr size_t kFileCount = sizeof kFileNames / sizeof kFileNames[0];

fs::path scratchRoot;  // this process's, removed when it ends
fs::path dataFolder;

void writeFile(const fs::path& path, std::string_view text) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::abort();  // the scratch folder is ours: failing here is no finding
    }
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size() || std::fclose(file) != 0) {
        std::abort();
    }
}

void removeScratch() {
    std::error_code ignored;
    fs::remove_all(scratchRoot, ignored);
}

// Memory when the system offers a folder in it: the files are written for every input.
fs::path scratchParent() {
    std::error_code ignored;
    return fs::is_directory("/dev/shm", ignored) ? fs::path("/dev/shm") : fs::temp_directory_path();
}

// The registry value Home, the folder the readers look in.
void makeScratchHome() {
    scratchRoot = scratchParent() / ("brevant-fuzz-config-" + std::to_string(getpid()));
    const fs::path home = scratchRoot / "home";
    dataFolder = home / "Brevant Data";
    fs::create_directories(dataFolder);
    const fs::path registry = scratchRoot / "registry.reg";
    writeFile(registry,
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orlena\\Brevant ISAPI]\n"
              "\"Home\"=\"" +
                  home.string() + "\"\n");
    setenv("STANDIN_REGISTRY", registry.c_str(), 1);
    std::atexit(removeScratch);
}

// What the JVM host relies on, whatever the files said: the JIT entry, at most the
// property slots there are, the null end, and the record pointing at both lists.
void checkAssembled(const StartupConfiguration& c) {
    const size_t size = c.properties.size();
    if (size < 2 || size - 2 > brevant::isapi::kMaxVMProperties || c.properties.back() != nullptr ||
        c.settings.properties != c.properties.data() ||
        c.settings.classpath != c.classpath.data() || c.optionCount < 0 ||
        c.optionCount > brevant::isapi::kMaxVMOptions) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::quietDebugOutput();
    makeScratchHome();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto parts = fuzzsupport::splitParts(fuzzsupport::inputText(data, size), kFileCount);
    for (size_t i = 0; i < kFileCount; ++i) {
        const fs::path path = dataFolder / kFileNames[i];
        if (i < parts.size()) {
            writeFile(path, parts[i]);
        } else {
            std::error_code ignored;
            fs::remove(path, ignored);
        }
    }
    StartupConfiguration configuration;
    brevant::isapi::assembleStartupConfiguration(&configuration);
    checkAssembled(configuration);
    return 0;
}
