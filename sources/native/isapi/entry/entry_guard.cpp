#include "entry_guard.h"

#include <string>

#include "native_log.h"

namespace brevant::isapi {

void logCaughtException(const char* entryPoint, const std::exception* caught) {
    if (caught == nullptr) {
        logMessage(std::string(entryPoint) + "() caught an unknown exception!!!");
        return;
    }
    logMessage(std::string(entryPoint) + "() caught an exception!!!");
    logMessage(caught->what());
}

}  // namespace brevant::isapi
