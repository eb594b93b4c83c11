// The two virtual-directory searches behind getExtensionURL and what they share: the test
// whether a virtual directory's physical path holds the module, the URL made from a virtual
// directory's alias, and the message about a virtual directory without execute permission.
//
// Stateless; called on the thread that loads the filter.
#ifndef BREVANT_ISAPI_IISCONFIG_VIRTUAL_DIR_H
#define BREVANT_ISAPI_IISCONFIG_VIRTUAL_DIR_H

#include <string>

namespace brevant::isapi::iisconfig {

// Whether `dllPath` begins with `physicalPath`, the letters A to Z of both taken as lower
// case (IIS paths are case-insensitive). Any prefix matches, a parent directory's too.
bool holdsModule(const std::string& physicalPath, const std::string& dllPath);

// alias + "/" + the module's file name; the alias begins with "/".
std::string moduleURL(const std::string& alias);

// Logs, with echo, that the virtual directory found needs execute permission.
void reportMissingExecutePermission();

// Each search appends the URL to *result and answers whether a matching virtual directory
// was found. *metabaseAvailable says whether the metabase could be searched at all; when it
// could not, the registry's virtual roots are the ones to search.
bool findMetabaseVirtualDir(const std::string& dllPath, std::string* result,
                            bool* metabaseAvailable);
bool findRegistryVirtualRoot(const std::string& dllPath, std::string* result);

}  // namespace brevant::isapi::iisconfig

#endif  // BREVANT_ISAPI_IISCONFIG_VIRTUAL_DIR_H
