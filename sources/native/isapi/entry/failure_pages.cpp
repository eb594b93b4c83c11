#include "native/isapi/entry/failure_pages.h"

#include "native/isapi/bridge/brevant.h"

namespace brevant::isapi {

std::string processRequestFailedPage() {
    return std::string("<html><head><title>") + kProductWord +
           " ProcessRequest failed!!!</title></head><body bgcolor=#ffffff><center><h2>"
           "<font color=#FF0000>" +
           kProductWord +
           " ProcessRequest failed!!!</font></h2>\t<p>The request could not be processed due "
           "to an internal error.\t<p>Please contact the site administrator.</center></body>"
           "</html>";
}

std::string initializationFailedPage(const std::string& reason) {
    return std::string("<html><head><title>") + kProductWord +
           " Initialization Failed</title></head><body bgcolor=#ffffff>"
           "<center><h2><font color=#FF0000>" +
           kProductWord + " Initialization Failed</font></h2></center>" + reason +
           "<p>The JavaHome value is read from the registry.  If it is not correct then edit "
           "the registry and set the keys in the following location to the correct values:"
           "<p>HKEY_LOCAL_MACHINE\\SOFTWARE\\JavaSoft"
           "<p>If JavaHome is correct then launch DBMON, restart the server and check for "
           "error messages in the DBMON console.</body></html>";
}

}  // namespace brevant::isapi
