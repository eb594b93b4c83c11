// filterctl: registers Brevant_ISAPI as the IIS filter "Brevant" in the metabase, or
// removes that registration, the way an installer does it: it loads the module, calls its
// export ConfigureFilter or UnConfigureFilter with the module's full file name, and reports
// the answer. The exports explain themselves on the debugger output.
//
//   filterctl configure PATH      exit 0: registered (also when it already was)
//   filterctl unconfigure PATH    exit 0: no registration remains
//
// Exit 1 when the export answers FALSE or cannot be called, 2 for a wrong command line.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int kSucceeded = 0;
constexpr int kFailed = 1;
constexpr int kUsageError = 2;

using RegistrationExport = BOOL(WINAPI*)(const char* filterPath);

struct Command {
    const char* name;
    const char* exportName;
    const char* whenTrue;
    const char* whenFalse;
};

constexpr Command kCommands[] = {
    {"configure", "ConfigureFilter",
     "the filter \"Brevant\" is registered; the web service loads it at its next start",
     "the filter could not be registered"},
    {"unconfigure", "UnConfigureFilter",
     "no registration of the filter \"Brevant\" remains; the web service leaves it out at its "
     "next start",
     "the registration could not be removed"},
};

constexpr char kWhereMessagesGo[] =
    "The module's messages are on the debugger output (DebugView on Windows; on Linux the file\n"
    "named by STANDIN_DEBUG_OUTPUT, else standard error).\n";

int usage(const std::string& problem) {
    std::fprintf(stderr, "filterctl: %s\n", problem.c_str());
    std::fprintf(stderr,
                 "usage: filterctl configure PATH     register the module at PATH as the IIS "
                 "filter \"Brevant\"\n"
                 "       filterctl unconfigure PATH   remove that registration\n"
                 "PATH is the Brevant_ISAPI module file; the metabase gets its full path.\n"
                 "Exit status: 0 done, 1 failed, 2 wrong command line.\n");
    return kUsageError;
}

// The full file name the module was loaded from, so that a relative PATH is registered as
// a path the web server finds from its own folder; PATH itself when that cannot be had.
std::string fullFileName(HMODULE module, const char* path) {
    char name[4096];
    DWORD length = GetModuleFileNameA(module, name, sizeof name);
    if (length == 0 || length >= sizeof name) {
        return path;
    }
    return std::string(name, length);
}

// The export's answer, or kFailed when it cannot be called.
int callExport(const Command& command, const char* path) {
    HMODULE module = LoadLibraryA(path);
    if (module == nullptr) {
        std::fprintf(stderr, "filterctl: cannot load the module %s (error %lu)\n", path,
                     static_cast<unsigned long>(GetLastError()));
        return kFailed;
    }
    // GetProcAddress answers with a generic function pointer; the export's type is known.
    auto registration = reinterpret_cast<RegistrationExport>(
        reinterpret_cast<void (*)()>(GetProcAddress(module, command.exportName)));
    if (registration == nullptr) {
        std::fprintf(stderr, "filterctl: %s has no export %s: is it Brevant_ISAPI?\n", path,
                     command.exportName);
        FreeLibrary(module);
        return kFailed;
    }
    const std::string filterPath = fullFileName(module, path);
    const BOOL answer = registration(filterPath.c_str());
    FreeLibrary(module);
    if (answer) {
        std::printf("filterctl: %s(\"%s\") answered TRUE: %s.\n", command.exportName,
                    filterPath.c_str(), command.whenTrue);
        return kSucceeded;
    }
    std::fprintf(stderr, "filterctl: %s(\"%s\") answered FALSE: %s.\n%s", command.exportName,
                 filterPath.c_str(), command.whenFalse, kWhereMessagesGo);
    return kFailed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        return usage(argc < 3 ? "a command and a module path are needed" : "too many arguments");
    }
    const Command* command = nullptr;
    for (const Command& candidate : kCommands) {
        if (std::strcmp(argv[1], candidate.name) == 0) {
            command = &candidate;
        }
    }
    if (command == nullptr) {
        return usage(std::string("unknown command \"") + argv[1] + "\"");
    }
    if (argv[2][0] == '\0') {
        return usage("the module path is empty");
    }
    // The exports rely on COM being initialised on the calling thread.
    HRESULT com = CoInitialize(nullptr);
    if (FAILED(com)) {
        std::fprintf(stderr, "filterctl: CoInitialize failed = %x\n", static_cast<unsigned>(com));
        return kFailed;
    }
    const int status = callExport(*command, argv[2]);
    CoUninitialize();
    return status;
}
