// The values of group properties: "instances", "retrytime" and the comma lists.
#include "native/adapter/property_values.h"

#include <cstdint>
#include <cstdlib>
#include <optional>

#include "native/adapter/debug_output.h"
#include "native/common/basics/ascii_text.h"

namespace brevant::adapter {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

size_t skipBlanks(const std::string& text, size_t position) {
    while (position < text.size() && isBlank(text[position])) {
        ++position;
    }
    return position;
}

size_t withoutTrailingBlanks(const std::string& text, size_t begin, size_t end) {
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return end;
}

// The entries of aliases, servers and applications. An entry starts at its first character
// even when that is a ",", so "a,,b" gives "a" and ",b", and a trailing "," adds nothing.
std::vector<std::string> listEntries(const std::string& value) {
    std::vector<std::string> entries;
    size_t position = 0;
    while (true) {
        position = skipBlanks(value, position);
        if (position >= value.size()) {
            return entries;
        }
        size_t comma = value.find(',', position + 1);
        size_t end = comma == std::string::npos ? value.size() : comma;
        entries.push_back(
            value.substr(position, withoutTrailingBlanks(value, position, end) - position));
        if (comma == std::string::npos) {
            return entries;
        }
        position = comma + 1;
    }
}

// The leading decimal integer of a port text as atoi reads it, kept to its low 16 bits.
// Counting modulo 2^16 gives those bits for any number of digits, without overflow.
uint16_t portNumber(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (isBlank(text[i]) || text[i] == '\r' || text[i] == '\n' ||
                               text[i] == '\v' || text[i] == '\f')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    uint32_t number = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        number = (number * 10 + static_cast<uint32_t>(text[i] - '0')) & 0xFFFF;
    }
    return static_cast<uint16_t>(negative ? (0x10000 - number) & 0xFFFF : number);
}

// The leading decimal floating-point number: sign, digits, fraction, exponent, nothing
// else (no hexadecimal, no "inf"), 0 when the value does not begin with one.
double leadingDecimal(const std::string& text) {
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    size_t digits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        ++digits;
    }
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && isDigit(text[i]); ++i) {
            ++digits;
        }
    }
    if (digits == 0) {
        return 0.0;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t exponent = i + 1;
        if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) {
            ++exponent;
        }
        if (exponent < text.size() && isDigit(text[exponent])) {
            for (i = exponent; i < text.size() && isDigit(text[i]); ++i) {
            }
        }
    }
    return std::strtod(text.substr(0, i).c_str(), nullptr);
}

void recordInstance(AdapterGroup& group, int index, const std::string& entry,
                    const PropertySource& source) {
    size_t colon = entry.find(':');
    std::string host = entry.substr(0, colon);
    std::string portText;
    uint16_t port = kDefaultPort;
    if (colon == std::string::npos) {
        debugOutf("Group %s:  instance %d = %s:8888\n", group.name, index, host.c_str());
    } else {
        portText = entry.substr(colon + 1);
        port = portNumber(portText);
        debugOutf("Group %s:  instance %d = %s:%s\n", group.name, index, host.c_str(),
                  portText.c_str());
    }
    AdapterInstance instance;
    instance.address = inet_addr(host.c_str());
    instance.port = htons(port);
    instance.state = kInstanceUp;
    instance.entry = entry;
    // Beyond the limits of the model: recorded, so that the group's requests get the
    // connection failure page rather than going to the default instance.
    if (host.size() > kMaxHostText) {
        debugOutf(
            "Brevant: brevant.properties line %d: instance %d: host longer than %d "
            "characters; recorded as unreachable: %.256s\n",
            source.line, index, static_cast<int>(kMaxHostText), source.key.c_str());
        instance.withinLimits = false;
    }
    if (portText.size() > kMaxPortText) {
        debugOutf(
            "Brevant: brevant.properties line %d: instance %d: port longer than %d "
            "characters; recorded as unreachable: %.256s\n",
            source.line, index, static_cast<int>(kMaxPortText), source.key.c_str());
        instance.withinLimits = false;
    }
    if (!instance.withinLimits) {
        instance.address = INADDR_NONE;
    }
    // Each line that names an instance replaces the whole list: a longer earlier line leaves
    // nothing behind.
    if (index == 0) {
        group.instance = instance;
        group.extraInstances.clear();
    } else {
        group.extraInstances.push_back(instance);
    }
    group.lastInstance = index;
}

// Digits only, at most `max`.
std::optional<uint32_t> wholeNumber(const std::string& value, uint32_t max) {
    if (value.empty() || value.size() > 10) {
        return std::nullopt;
    }
    uint64_t number = 0;
    for (char c : value) {
        if (!isDigit(c)) {
            return std::nullopt;
        }
        number = number * 10 + static_cast<uint64_t>(c - '0');
    }
    if (number > max) {
        return std::nullopt;
    }
    return static_cast<uint32_t>(number);
}

}  // namespace

void parseInstances(AdapterGroup& group, const std::string& value, const PropertySource& source) {
    debugOutf("Group %s:  instances = %s\n", group.name, value.c_str());
    size_t position = 0;
    for (int index = 0;; ++index) {
        position = skipBlanks(value, position);
        if (position >= value.size()) {
            return;
        }
        size_t comma = value.find(',', position);
        size_t end = withoutTrailingBlanks(value, position,
                                           comma == std::string::npos ? value.size() : comma);
        if (end == position) {
            return;  // an empty entry ends the list
        }
        recordInstance(group, index, value.substr(position, end - position), source);
        if (comma == std::string::npos) {
            return;
        }
        position = comma + 1;
    }
}

void parseRetryTime(AdapterGroup& group, const std::string& value) {
    group.retryTime = leadingDecimal(value);
    debugOutf("Group %s:  retry time set to %-10.0f seconds\n", group.name, group.retryTime);
}

void parseAliases(AdapterGroup& group, const std::string& value) {
    for (const std::string& alias : listEntries(value)) {
        debugOutf("Group %s:  alias = [%s]\n", group.name, alias.c_str());
        (alias[0] == '/' ? group.pathAliases : group.suffixAliases).push_back(alias);
    }
}

void parseServers(AdapterGroup& group, const std::string& value) {
    for (const std::string& server : listEntries(value)) {
        debugOutf("Group %s:  server = [%s]\n", group.name, server.c_str());
        group.servers.push_back(server);
    }
}

void parseApplications(AdapterGroup& group, const std::string& value) {
    for (const std::string& application : listEntries(value)) {
        debugOutf("Group %s:  application = [%s]\n", group.name, application.c_str());
        if (application[0] == '/') {
            group.applications.push_back(application);
        } else {
            debugOutf("Group %s:  application URLs must begin with a '/'", group.name);
        }
    }
}

void parseBalance(AdapterGroup& group, const std::string& value, const PropertySource& source) {
    std::string word = ascii::lowerCase(value);
    for (BalancePolicy policy : kBalancePolicies) {
        if (word == policyName(policy)) {
            group.balance = policy;
            group.balanceKeyed = true;
            debugOutf("Group %s:  balance = %s\n", group.name, word.c_str());
            return;
        }
    }
    debugOutf(
        "Brevant: brevant.properties line %d: balance must be first, failover or roundrobin; "
        "ignored: %.256s\n",
        source.line, source.key.c_str());
}

void parseWholeNumberProperty(AdapterGroup& group, const std::string& property,
                              const std::string& value, const PropertySource& source) {
    struct WholeNumber {
        const char* property;
        uint32_t AdapterGroup::*field;
        uint32_t max;
        const char* name;  // in the report: "Group a:  <name> = <value> <unit>"
        const char* unit;
        const char* meaning;  // in the complaint: "<meaning> up to <max>"
    };
    static constexpr WholeNumber kWholeNumbers[] = {
        {"connecttimeout", &AdapterGroup::connectTimeout, INT32_MAX, "connect time-out", "ms",
         "a connect time-out is a whole number of milliseconds"},
        {"replytimeout", &AdapterGroup::replyTimeout, INT32_MAX, "reply time-out", "ms",
         "a reply time-out is a whole number of milliseconds"},
        {"keepalive", &AdapterGroup::keepAlive, kMaxKeptConnections, "keep-alive",
         "idle connections per instance", "keep-alive is a whole number of idle connections"},
        {"keepalivetimeout", &AdapterGroup::keepAliveTimeout, kMaxKeepAliveTimeout,
         "keep-alive time-out", "seconds", "a keep-alive time-out is a whole number of seconds"},
    };
    for (const WholeNumber& known : kWholeNumbers) {
        if (property != known.property) {
            continue;
        }
        std::optional<uint32_t> parsed = wholeNumber(value, known.max);
        if (!parsed) {
            debugOutf("Brevant: brevant.properties line %d: %s up to %u; ignored: %.256s\n",
                      source.line, known.meaning, known.max, source.key.c_str());
        } else {
            group.*known.field = *parsed;
            debugOutf("Group %s:  %s = %u %s\n", group.name, known.name, *parsed, known.unit);
        }
        return;
    }
}

}  // namespace brevant::adapter
