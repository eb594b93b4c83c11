// ConfigureFilter and UnConfigureFilter: the frame both exports share around
// their own step: the path echoed, COM, the admin base, the Filters key open for reading
// and writing, and after a change CloseKey and SaveData. No exception leaves an export.
#include <windows.h>
#include <objbase.h>
#include <iadmw.h>

#include <exception>

#include "native/isapi/iisconfig/filter_entries.h"
#include "native/isapi/iisconfig/filter_messages.h"
#include "native/isapi/iisconfig/filter_registration.h"
#include "native/isapi/iisconfig/metabase_access.h"

namespace brevant::isapi::iisconfig {

namespace {

constexpr char kFiltersPath[] = "/LM/W3SVC/Filters";
constexpr DWORD kReadWrite = METADATA_PERMISSION_READ | METADATA_PERMISSION_WRITE;

// How an export's own step ended: failed, done without a change to save, or to be saved.
enum class Outcome { kFailed, kDone, kSave };

using OwnStep = Outcome (*)(IMSAdminBase* admin, METADATA_HANDLE filters, const char* filterPath);

Outcome configureStep(IMSAdminBase* admin, METADATA_HANDLE filters, const char* filterPath) {
    if (findFilterEntry(admin, filters)) {
        return Outcome::kDone;  // registered already: nothing is written
    }
    return addFilterEntry(admin, filters, filterPath) ? Outcome::kSave : Outcome::kFailed;
}

// Saves also when there was nothing to remove.
Outcome unconfigureStep(IMSAdminBase* admin, METADATA_HANDLE filters, const char*) {
    return removeFilterEntry(admin, filters) ? Outcome::kSave : Outcome::kFailed;
}

// The common frame; *saved tells whether SaveData ran and succeeded. The holders close the
// key and release the interface on every way out.
BOOL onFiltersKey(const char* filterPath, OwnStep step, bool* saved) {
    *saved = false;
    debugOut({kMessageWord, ": Path to filter = ", filterPath, ".\n"});
    HRESULT result = CoInitialize(nullptr);  // never uninitialised here
    if (FAILED(result)) {
        reportFailure("CoInitialize", result);
        return FALSE;
    }
    AdminBase admin;
    if (!admin.create(&result)) {
        reportFailure("CoCreateInstance", result);
        return FALSE;
    }
    MetabaseKey filters(admin);
    result = filters.open(kFiltersPath, kReadWrite);
    if (FAILED(result)) {
        reportFailure("OpenKey", result);
        return FALSE;
    }
    const Outcome outcome = step(admin.get(), filters.handle(), filterPath);
    filters.close();
    if (outcome != Outcome::kSave) {
        return outcome == Outcome::kDone ? TRUE : FALSE;
    }
    result = admin.get()->SaveData();
    if (FAILED(result)) {
        reportFailure("SaveData", result);
        return FALSE;
    }
    *saved = true;
    return TRUE;
}

template <typename Body>
BOOL guarded(const char* exportName, Body body) noexcept {
    try {
        return body();
    } catch (const std::exception& caught) {
        debugOut(
            {kMessageWord, ": ", exportName, "() caught an exception!!!\n", caught.what(), "\n"});
    } catch (...) {
        debugOut({kMessageWord, ": ", exportName, "() caught an unknown exception!!!\n"});
    }
    return FALSE;
}

}  // namespace

}  // namespace brevant::isapi::iisconfig

using namespace brevant::isapi::iisconfig;

extern "C" BOOL WINAPI ConfigureFilter(const char* filterPath) {
    return guarded("ConfigureFilter", [filterPath] {
        if (filterPath == nullptr) {
            debugOut({kMessageWord, ": ConfigureFilter() needs the path to the filter.\n"});
            return FALSE;
        }
        bool saved = false;
        const BOOL registered = onFiltersKey(filterPath, configureStep, &saved);
        if (saved) {
            debugOut({kMessageWord, ": metabase filter entry for ", kFilterName, " saved.\n"});
        }
        return registered;
    });
}

extern "C" BOOL WINAPI UnConfigureFilter(const char* filterPath) {
    return guarded("UnConfigureFilter", [filterPath] {
        bool saved = false;
        return onFiltersKey(filterPath != nullptr ? filterPath : "", unconfigureStep, &saved);
    });
}
