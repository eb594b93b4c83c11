// Host names and IPv6 literals of instance entries, resolved once while the filter loads.
#include "native/adapter/instance_addresses.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>
#include <string>

#include "native/adapter/debug_output.h"

namespace brevant::adapter {

namespace {

// What an entry that is not an IPv4 literal names: "name", "name:port", "[v6]" or
// "[v6]:port". False when the brackets or the port do not fit that form.
bool splitEntry(const std::string& entry, std::string* host, std::string* port, bool* numeric) {
    *port = std::to_string(kDefaultPort);
    std::string rest;
    if (!entry.empty() && entry[0] == '[') {
        size_t close = entry.find(']');
        if (close == std::string::npos) {
            return false;
        }
        *host = entry.substr(1, close - 1);
        rest = entry.substr(close + 1);
        *numeric = true;
    } else {
        size_t colon = entry.find(':');
        *host = entry.substr(0, colon);
        rest = colon == std::string::npos ? "" : entry.substr(colon);
        *numeric = false;
    }
    if (rest.empty()) {
        return !host->empty();
    }
    if (rest[0] != ':' || rest.size() < 2 || rest.size() > 6 ||
        rest.find_first_not_of("0123456789", 1) != std::string::npos) {
        return false;
    }
    unsigned long number = std::stoul(rest.substr(1));
    *port = rest.substr(1);
    return !host->empty() && number > 0 && number <= 0xFFFF;
}

std::string addressText(const InstanceAddress& address) {
    char text[INET6_ADDRSTRLEN] = {};
    const sockaddr* generic = reinterpret_cast<const sockaddr*>(&address.address);
    if (generic->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&address.address);
        inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        return std::string("[") + text + "]:" + std::to_string(ntohs(v6->sin6_port));
    }
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&address.address);
    inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    return std::string(text) + ":" + std::to_string(ntohs(v4->sin_port));
}

void resolve(const AdapterGroup& group, int index, AdapterInstance& instance) {
    std::string host, port;
    bool numeric = false;
    if (!splitEntry(instance.entry, &host, &port, &numeric)) {
        debugOutf(
            "Brevant: group %s: instance %d: %.256s is neither host[:port] nor [IPv6]:port; "
            "recorded as unreachable\n",
            group.name, index, instance.entry.c_str());
        instance.resolveFailed = true;
        return;
    }
    addrinfo hints = {};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    hints.ai_flags = AI_NUMERICSERV | (numeric ? AI_NUMERICHOST : 0);
    addrinfo* found = nullptr;
    int error = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    if (error != 0) {
        debugOutf(
            "Brevant: group %s: instance %d: %.256s cannot be resolved (%s); "
            "recorded as unreachable\n",
            group.name, index, instance.entry.c_str(), gai_strerror(error));
        instance.resolveFailed = true;
        return;
    }
    std::string list;
    for (const addrinfo* each = found; each != nullptr; each = each->ai_next) {
        if (each->ai_addrlen > sizeof(sockaddr_storage)) {
            continue;
        }
        InstanceAddress address;
        std::memcpy(&address.address, each->ai_addr, each->ai_addrlen);
        address.length = static_cast<int>(each->ai_addrlen);
        instance.resolved.push_back(address);
        list += (list.empty() ? "" : ", ") + addressText(address);
    }
    freeaddrinfo(found);
    debugOutf("Group %s:  instance %d = %.256s resolves to %.256s\n", group.name, index,
              instance.entry.c_str(), list.c_str());
}

// inet_addr's one valid text that reads as its failure value is a literal too.
bool isIpv4Literal(const AdapterInstance& instance) {
    return instance.address != INADDR_NONE ||
           instance.entry.substr(0, instance.entry.find(':')) == "255.255.255.255";
}

}  // namespace

void resolveInstances(GroupTable& table) {
    for (int g = 0; g < table.groupCount; ++g) {
        AdapterGroup& group = table.groups[g];
        if (group.balanceKeyed) {
            for (int i = 0; i <= group.lastInstance; ++i) {
                AdapterInstance& instance = instanceAt(group, i);
                if (instance.withinLimits && !isIpv4Literal(instance)) {
                    resolve(group, i, instance);
                }
            }
        }
        if (group.balance == BalancePolicy::first && group.lastInstance > 0) {
            debugOutf(
                "Brevant: group %s: balance is first: instances 1 to %d are kept but not "
                "routed to\n",
                group.name, group.lastInstance);
        }
    }
}

}  // namespace brevant::adapter
