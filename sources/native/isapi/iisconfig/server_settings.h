// What Brevant_ISAPI learns from the IIS configuration it runs in: the MIME map handed to
// the Java engine, the default document names, and the URL under which IIS reaches the
// extension. Older IIS keeps these in the registry, newer IIS in the metabase (through
// IMSAdminBase); each lookup decides by itself which store it reads.
//
// Called by the engine bridge while the filter loads, on the IIS thread that loads it,
// before any request: no locks are taken. REQUIRES: COM is initialised on the calling
// thread (IIS and isapihost do so); none of these initialises it. Failures are not
// reported to the caller beyond empty results; they go to the native log.
#ifndef BREVANT_ISAPI_IISCONFIG_SERVER_SETTINGS_H
#define BREVANT_ISAPI_IISCONFIG_SERVER_SETTINGS_H

#include <string>
#include <vector>

namespace brevant::isapi::iisconfig {

// Where IIS's own setup puts ISAPI extensions: the URL when no virtual directory is found.
constexpr char kFallbackExtensionURL[] = "/Scripts/Brevant_ISAPI.dll";

// The MIME map text "type,ext;type,ext;" from the registry's InetInfo MimeMap key when it
// opens, else from the metabase; "" when nothing can be read.
std::string getMimeMap();

// Appends the default document names to *pages, in configuration order (registry
// "Default Load File" whole as one name, else the metabase list when
// MD_DIRBROW_LOADDEFAULT is set).
void initDefaultPages(std::vector<std::string>* pages);

// The extension's URL for the module file at dllPath ("" allowed): "/" + vdir +
// "/Brevant_ISAPI.dll", or the fallback "/Scripts/Brevant_ISAPI.dll".
std::string getExtensionURL(const std::string& dllPath);

}  // namespace brevant::isapi::iisconfig

#endif  // BREVANT_ISAPI_IISCONFIG_SERVER_SETTINGS_H
