// findMetabaseVirtualDir: the virtual directories of every web site in the metabase
// (/LM/W3SVC/<site number>/ROOT/<name>), searched for the one that maps the module's
// directory. The first site with a match gives the URL; a match in any site is checked for
// execute permission.
#include <windows.h>
#include <iadmw.h>
#include <iiscnfg.h>

#include <cstdio>
#include <string>

#include "native/isapi/iisconfig/metabase_access.h"
#include "native/isapi/iisconfig/virtual_dir.h"

namespace brevant::isapi::iisconfig {

namespace {

constexpr char kWebServicePath[] = "/LM/W3SVC";
constexpr MetadataItem kPathItem = {MD_VR_PATH, METADATA_NO_ATTRIBUTES, IIS_MD_UT_FILE,
                                    STRING_METADATA};
constexpr MetadataItem kAccessItem = {MD_ACCESS_PERM, METADATA_NO_ATTRIBUTES, IIS_MD_UT_FILE,
                                      DWORD_METADATA};
// A path buffer of 2048 bytes of which 1024 are offered to the metabase.
constexpr DWORD kPathBufferBytes = 2048;
constexpr DWORD kPathDataBytes = 1024;

// Web sites are the keys named by a number; others (Filters, Info, ...) are not sites.
bool isSiteNumber(const std::string& name) {
    if (name.empty()) {
        return false;
    }
    for (char c : name) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

bool readPhysicalPath(const AdminBase& admin, const std::string& path, std::string* physical) {
    WCHAR buffer[kPathBufferBytes / sizeof(WCHAR)] = {};
    DWORD required = 0;
    if (FAILED(admin.getData(path, kPathItem, buffer, kPathDataBytes, &required))) {
        return false;
    }
    *physical = narrow(buffer, kPathDataBytes / sizeof(WCHAR));
    return true;
}

void checkExecutePermission(const AdminBase& admin, const std::string& path) {
    DWORD access = 0;
    DWORD required = 0;
    if (SUCCEEDED(admin.getData(path, kAccessItem, &access, sizeof access, &required)) &&
        (access & MD_ACCESS_EXECUTE) == 0) {
        reportMissingExecutePermission();
    }
}

// Searches one site's virtual directories; on a match appends the URL to *url unless it is
// null, and answers true.
bool matchInSite(const AdminBase& admin, const std::string& site, const std::string& dllPath,
                 std::string* url) {
    const std::string rootPath = std::string(kWebServicePath) + "/" + site + "/ROOT";
    MetabaseKey root(admin);
    if (FAILED(root.open(rootPath))) {
        return false;
    }
    std::string name;
    for (DWORD index = 0; root.subkey(index, &name); ++index) {
        const std::string path = rootPath + "/" + name;
        std::string physical;
        if (!readPhysicalPath(admin, path, &physical) || !holdsModule(physical, dllPath)) {
            continue;
        }
        if (url != nullptr) {
            url->append(moduleURL("/" + name));
        }
        checkExecutePermission(admin, path);
        return true;
    }
    return false;
}

void reportReopenFailure(HRESULT result) {
    char text[80];
    std::snprintf(text, sizeof text, "%s: OpenKey(wwwKey) failed = %x \n", "Brevant",
                  static_cast<unsigned>(result));
    OutputDebugStringA(text);
}

}  // namespace

bool findMetabaseVirtualDir(const std::string& dllPath, std::string* result,
                            bool* metabaseAvailable) {
    *metabaseAvailable = true;
    AdminBase admin;
    if (!admin.create()) {
        *metabaseAvailable = false;
        return false;
    }
    MetabaseKey web(admin);
    if (FAILED(web.open(kWebServicePath))) {
        *metabaseAvailable = false;
        return false;
    }
    bool found = false;
    std::string site;
    for (DWORD index = 0; web.subkey(index, &site); ++index) {
        if (!isSiteNumber(site)) {
            continue;
        }
        web.close();  // not held while a site is searched
        if (matchInSite(admin, site, dllPath, found ? nullptr : result)) {
            found = true;
        }
        HRESULT reopened = web.open(kWebServicePath);
        if (FAILED(reopened)) {
            reportReopenFailure(reopened);
            break;
        }
    }
    return found;
}

}  // namespace brevant::isapi::iisconfig
