#include "stand-ins/isapihost/host/options.h"

#include <cstdlib>
#include <cstring>

namespace isapihost {

const char kUsage[] =
    "usage: isapihost [options]\n"
    "\n"
    "Serves the web sites of the metabase that STANDIN_METABASE names, or the one site\n"
    "described by the quick-start options (written to a metabase of its own).\n"
    "\n"
    "quick-start site:\n"
    "  --port N                 listen on 127.0.0.1:N (0 picks a free port; default 8080)\n"
    "  --root DIR               the site's root folder (default: the current folder)\n"
    "  --vdir /URL=DIR[,execute]\n"
    "                           a virtual directory; execute lets it run .dll extensions\n"
    "  --filter FILE            an ISAPI filter module (repeatable, in load order)\n"
    "  --default-doc a,b        default documents of directory URLs\n"
    "  --mime .ext=type         a MIME type (repeatable)\n"
    "  --users FILE             users for Basic logons, one name:password a line\n"
    "TLS:\n"
    "  --tls-port N --cert FILE --key FILE [--client-ca FILE]\n"
    "server:\n"
    "  --access-log FILE        W3C extended access log\n"
    "  --threads N              worker threads (default 32)\n"
    "  --connection-timeout S   a blocked read or write fails after S seconds (default 120)\n";

namespace {

bool parseNumber(const std::string& text, long low, long high, long* value) {
    char* end = nullptr;
    long parsed = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || parsed < low || parsed > high) {
        return false;
    }
    *value = parsed;
    return true;
}

bool parseDirectory(const std::string& text, QuickStart::Directory* directory) {
    auto equals = text.find('=');
    if (equals == std::string::npos || text[0] != '/' || equals < 2) {
        return false;
    }
    directory->url = text.substr(0, equals);
    while (directory->url.size() > 1 && directory->url.back() == '/')
        directory->url.pop_back();
    std::string rest = text.substr(equals + 1);
    auto comma = rest.find(',');
    directory->path = rest.substr(0, comma);
    if (comma != std::string::npos) {
        std::string flags = rest.substr(comma + 1);
        if (flags != "execute")
            return false;
        directory->execute = true;
    }
    return !directory->path.empty();
}

}  // namespace

bool parseOptions(int argc, char** argv, Options* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (flag == "-h" || flag == "--help") {
            options->help = true;
            continue;
        }
        if (i + 1 >= argc) {
            *error = flag + " needs a value";
            return false;
        }
        std::string value = argv[++i];
        long number = 0;
        if (flag == "--port") {
            if (!parseNumber(value, 0, 65535, &number)) {
                *error = "--port wants a port number, not " + value;
                return false;
            }
            options->port = static_cast<int>(number);
            options->quickStart = true;
        } else if (flag == "--root") {
            options->root = value;
            options->quickStart = true;
        } else if (flag == "--vdir") {
            QuickStart::Directory directory;
            if (!parseDirectory(value, &directory)) {
                *error = "--vdir wants /URL=DIR or /URL=DIR,execute, not " + value;
                return false;
            }
            options->directories.push_back(directory);
            options->quickStart = true;
        } else if (flag == "--filter") {
            options->filters.push_back(value);
            options->quickStart = true;
        } else if (flag == "--default-doc") {
            options->defaultDocuments = splitList(value);
            options->quickStart = true;
        } else if (flag == "--mime") {
            auto equals = value.find('=');
            if (value[0] != '.' || equals == std::string::npos || equals + 1 == value.size()) {
                *error = "--mime wants .ext=type, not " + value;
                return false;
            }
            options->mimeTypes[value.substr(0, equals)] = value.substr(equals + 1);
            options->quickStart = true;
        } else if (flag == "--users") {
            options->usersFile = value;
            options->quickStart = true;
        } else if (flag == "--tls-port") {
            if (!parseNumber(value, 0, 65535, &number)) {
                *error = "--tls-port wants a port number, not " + value;
                return false;
            }
            options->tlsPort = static_cast<int>(number);
        } else if (flag == "--cert") {
            options->certificateFile = value;
        } else if (flag == "--key") {
            options->keyFile = value;
        } else if (flag == "--client-ca") {
            options->clientCaFile = value;
        } else if (flag == "--access-log") {
            options->accessLog = value;
        } else if (flag == "--threads") {
            if (!parseNumber(value, 1, 4096, &number)) {
                *error = "--threads wants a number from 1 to 4096, not " + value;
                return false;
            }
            options->threads = static_cast<unsigned>(number);
        } else if (flag == "--connection-timeout") {
            if (!parseNumber(value, 1, 86400, &number)) {
                *error = "--connection-timeout wants seconds, not " + value;
                return false;
            }
            options->connectionTimeoutSeconds = static_cast<unsigned>(number);
        } else {
            *error = "unknown option " + flag;
            return false;
        }
    }
    if (options->tlsPort >= 0 && (options->certificateFile.empty() || options->keyFile.empty())) {
        *error = "--tls-port needs --cert and --key";
        return false;
    }
    return true;
}

}  // namespace isapihost
