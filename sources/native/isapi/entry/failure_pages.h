// The two HTML pages the connector writes itself: the extension's page when a request
// could not be handed to the engine, and the filter's page when the engine did not start.
// Built anew for each use; any thread.
#ifndef BREVANT_ISAPI_ENTRY_FAILURE_PAGES_H
#define BREVANT_ISAPI_ENTRY_FAILURE_PAGES_H

#include <string>

namespace brevant::isapi {

std::string processRequestFailedPage();

// The page with `reason` (HTML) between the red heading and the JavaHome advice.
std::string initializationFailedPage(const std::string& reason);

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_ENTRY_FAILURE_PAGES_H
