// Modules: LoadLibraryA and friends over dlopen.
//
// A module handle is the dlopen handle of the loaded object. Windows finds a loaded module
// by its file name without regard to case and reports its full path; the stand-in does the
// same by walking the loaded objects. The main program answers to its own file name and
// to that name followed by ".exe", so that code written for Windows finds itself as
// "Enlistor.exe" when the Linux program is called Enlistor.
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <string>

#include "native/common/basics/ascii_text.h"
#include "stand-ins/win32/src/internal.h"

namespace {

std::string baseName(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string mainProgramPath() {
    char buffer[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) {
        return std::string();
    }
    return std::string(buffer, static_cast<size_t>(length));
}

// Windows appends ".dll" to a module name without an extension; a trailing "." means
// "no extension" and is dropped.
std::string windowsModuleName(const std::string& name) {
    std::string base = baseName(name);
    if (!base.empty() && base.back() == '.') {
        base.pop_back();
        return base;
    }
    if (base.find('.') == std::string::npos) {
        base += ".dll";
    }
    return base;
}

std::string absolutePath(const std::string& path) {
    if (path.empty() || path[0] == '/') {
        return path;
    }
    char cwd[PATH_MAX];
    if (getcwd(cwd, sizeof cwd) == nullptr) {
        return path;
    }
    std::string result = cwd;
    std::string rest = path;
    while (rest.rfind("./", 0) == 0) {
        rest.erase(0, 2);
    }
    return result + "/" + rest;
}

struct ModuleSearch {
    std::string wanted;
    std::string foundPath;
};

int findLoadedObject(struct dl_phdr_info* info, size_t, void* data) {
    auto* search = static_cast<ModuleSearch*>(data);
    if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0') {
        return 0;  // the main program and the vDSO; handled separately
    }
    if (brevant::ascii::equalIgnoringCase(baseName(info->dlpi_name), search->wanted)) {
        search->foundPath = info->dlpi_name;
        return 1;
    }
    return 0;
}

HMODULE mainProgramHandle() {
    return static_cast<HMODULE>(dlopen(nullptr, RTLD_NOW));
}

}  // namespace

extern "C" {

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
    STANDIN_INJECTION_POINT("LoadLibraryA", nullptr);
    if (fileName == nullptr || fileName[0] == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::string path = fileName;
    bool hasFolder = path.find('/') != std::string::npos;
    if (!hasFolder) {
        // Windows looks in the program's own folder before the system's search path.
        std::string program = mainProgramPath();
        std::string besideProgram = program.substr(0, program.find_last_of('/') + 1) + path;
        struct stat info;
        if (stat(besideProgram.c_str(), &info) == 0) {
            path = besideProgram;
            hasFolder = true;
        }
    }
    if (hasFolder) {
        // Loaded under its full path, so that GetModuleFileNameA reports one, as on Windows.
        path = absolutePath(path);
        struct stat info;
        if (stat(path.c_str(), &info) != 0) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* reason = dlerror();
        bool missing = reason != nullptr && std::strstr(reason, "No such file") != nullptr;
        SetLastError(missing || !hasFolder ? ERROR_MOD_NOT_FOUND : ERROR_BAD_EXE_FORMAT);
        return nullptr;
    }
    return static_cast<HMODULE>(handle);
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    STANDIN_INJECTION_POINT("FreeLibrary", FALSE);
    if (module == nullptr || dlclose(module) != 0) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
    STANDIN_INJECTION_POINT("GetProcAddress", nullptr);
    if (module == nullptr || procName == nullptr) {
        SetLastError(module == nullptr ? ERROR_INVALID_HANDLE : ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    dlerror();
    void* symbol = dlsym(module, procName);
    if (symbol == nullptr) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(symbol);
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    STANDIN_INJECTION_POINT("GetModuleHandleA", nullptr);
    if (moduleName == nullptr) {
        return mainProgramHandle();
    }
    // Linux programs have no extension, so the program is matched by the name as given.
    std::string given = baseName(moduleName);
    std::string program = baseName(mainProgramPath());
    if (brevant::ascii::equalIgnoringCase(given, program) ||
        brevant::ascii::equalIgnoringCase(given, program + ".exe")) {
        return mainProgramHandle();
    }
    std::string wanted = windowsModuleName(moduleName);
    ModuleSearch search{wanted, std::string()};
    if (dl_iterate_phdr(findLoadedObject, &search) == 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    // RTLD_NOLOAD finds the object without loading it; the reference it adds is given back
    // at once, because GetModuleHandleA does not count references.
    void* handle = dlopen(search.foundPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle == nullptr) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    dlclose(handle);
    return static_cast<HMODULE>(handle);
}

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size) {
    STANDIN_INJECTION_POINT("GetModuleFileNameA", 0);
    std::string path;
    if (module == nullptr || module == mainProgramHandle()) {
        path = mainProgramPath();
    } else {
        struct link_map* map = nullptr;
        if (dlinfo(module, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return 0;
        }
        bool isProgram = map->l_name == nullptr || map->l_name[0] == '\0';
        path = isProgram ? mainProgramPath() : absolutePath(map->l_name);
    }
    if (fileName == nullptr || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // As since Windows Vista: a name that does not fit is cut, terminated, and reported
    // with the buffer's size and ERROR_INSUFFICIENT_BUFFER.
    if (path.size() >= size) {
        std::memcpy(fileName, path.data(), size - 1);
        fileName[size - 1] = '\0';
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(fileName, path.c_str(), path.size() + 1);
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(path.size());
}

}  // extern "C"
