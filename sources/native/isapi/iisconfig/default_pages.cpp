// initDefaultPages: the default document names, in the order IIS tries them. Older IIS
// names one document in the W3SVC Parameters key; newer IIS keeps a comma-separated list
// in the metabase, used only while default documents are switched on. Metabase failures
// are logged; the list then stays as it was.
#include <windows.h>
#include <iadmw.h>
#include <iiscnfg.h>

#include <cstddef>
#include <string>
#include <vector>

#include "native/isapi/iisconfig/metabase_access.h"
#include "native/isapi/log/native_log.h"
#include "native/isapi/registry/registry_text.h"
#include "native/isapi/iisconfig/server_settings.h"

namespace brevant::isapi::iisconfig {

namespace {

constexpr char kParametersKey[] = "SYSTEM\\CurrentControlSet\\Services\\W3SVC\\Parameters";
constexpr char kDefaultLoadFile[] = "Default Load File";

// IIS stores both properties with the user type IIS_MD_UT_FILE; they are asked for with any
// user type, so that they are found however they were written.
constexpr char kWebServicePath[] = "/LM/W3SVC";
constexpr MetadataItem kBrowsingItem = {MD_DIRECTORY_BROWSING, METADATA_NO_ATTRIBUTES, ALL_METADATA,
                                        DWORD_METADATA};
constexpr MetadataItem kLoadFileItem = {MD_DEFAULT_LOAD_FILE, METADATA_NO_ATTRIBUTES, ALL_METADATA,
                                        STRING_METADATA};

enum class RegistryAnswer {
    kNoKey,    // no web service parameters: no default documents at all
    kTaken,    // the registry named the document
    kNoValue,  // the metabase decides
};

RegistryAnswer registryDefaultPage(std::vector<std::string>* pages) {
    RegistryKey parameters;
    if (!parameters.open(kParametersKey)) {
        return RegistryAnswer::kNoKey;
    }
    std::string page;
    switch (readRegistryText(parameters.get(), kDefaultLoadFile, &page)) {
        case RegistryTextResult::kNoSize:
            return RegistryAnswer::kNoValue;
        case RegistryTextResult::kRead:
            pages->push_back(page);  // whole, commas and all: older IIS has one document
            break;
        case RegistryTextResult::kNotRead:
            break;
    }
    return RegistryAnswer::kTaken;
}

bool isNameDelimiter(char c) {
    return c == ',' || c == ' ' || c == '"';
}

// The names of a list such as `Default.htm, Default.asp,"index.html"`: the runs between
// commas, blanks and double quotes.
void addNames(const std::string& list, std::vector<std::string>* pages) {
    std::string::size_type start = 0;
    while (true) {
        while (start < list.size() && isNameDelimiter(list[start])) {
            ++start;
        }
        if (start == list.size()) {
            return;
        }
        std::string::size_type end = start;
        while (end < list.size() && !isNameDelimiter(list[end])) {
            ++end;
        }
        pages->push_back(list.substr(start, end - start));
        start = end;
    }
}

void metabaseDefaultPages(std::vector<std::string>* pages) {
    AdminBase admin;
    if (!admin.create()) {
        logMessage("CoCreateInstance failed in initDefaultPages().", true);
        return;
    }
    DWORD browsing = 0;
    DWORD required = 0;
    if (FAILED(
            admin.getData(kWebServicePath, kBrowsingItem, &browsing, sizeof browsing, &required))) {
        logMessage("initDefaultPages() failed to get default page settings.", true);
        return;
    }
    if ((browsing & MD_DIRBROW_LOADDEFAULT) == 0) {
        return;  // default documents are switched off
    }
    if (admin.getData(kWebServicePath, kLoadFileItem, nullptr, 0, &required) != kBufferTooSmall) {
        logMessage("initDefaultPages() failed to get length of default pages.", true);
        return;
    }
    // Twice the bytes asked for: a zero follows the text whatever it holds.
    std::vector<WCHAR> list(required, 0);
    if (FAILED(admin.getData(kWebServicePath, kLoadFileItem, list.data(), required, &required))) {
        logMessage("initDefaultPages() failed to get default pages.", true);
        return;
    }
    addNames(narrow(list.data(), list.size()), pages);
}

}  // namespace

void initDefaultPages(std::vector<std::string>* pages) {
    if (registryDefaultPage(pages) == RegistryAnswer::kNoValue) {
        metabaseDefaultPages(pages);
    }
}

}  // namespace brevant::isapi::iisconfig
