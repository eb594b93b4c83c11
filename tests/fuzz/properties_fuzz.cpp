// brevant.properties into the adapter's group table (parseProperties, then supplyDefaults, as
// GetFilterVersion runs them; names are not resolved: no network). The input is parsed as
// given, and its lines once with LF and once with CR LF ends, which must give the same
// table: a mismatch aborts.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "native/adapter/adapter_properties.h"
#include "native/adapter/adapter_properties_internal.h"

namespace {

using brevant::adapter::AdapterGroup;
using brevant::adapter::AdapterInstance;
using brevant::adapter::GroupTable;

// The input's lines with LF ends. A CR directly before a LF belongs to the line end in the
// parser's eyes, so the lines keep none there; every other CR is an ordinary character.
std::string lfForm(std::string_view input) {
    std::string text;
    text.reserve(input.size());
    for (char c : input) {
        if (c == '\n') {
            while (!text.empty() && text.back() == '\r') {
                text.pop_back();
            }
        }
        text.push_back(c);
    }
    return text;
}

std::string crLfForm(std::string_view lfText) {
    std::string text;
    text.reserve(lfText.size() * 2);
    for (char c : lfText) {
        if (c == '\n') {
            text.push_back('\r');
        }
        text.push_back(c);
    }
    return text;
}

bool sameInstance(const AdapterInstance& a, const AdapterInstance& b) {
    return a.address == b.address && a.port == b.port && a.state.load() == b.state.load() &&
           a.entry == b.entry && a.withinLimits == b.withinLimits &&
           a.resolved.size() == b.resolved.size() && a.resolveFailed == b.resolveFailed;
}

bool sameGroup(const AdapterGroup& a, const AdapterGroup& b) {
    if (std::string_view(a.name) != std::string_view(b.name) || a.servers != b.servers ||
        a.pathAliases != b.pathAliases || a.suffixAliases != b.suffixAliases ||
        a.applications != b.applications || !sameInstance(a.instance, b.instance) ||
        a.extraInstances.size() != b.extraInstances.size() ||
        !(a.retryTime == b.retryTime || (std::isnan(a.retryTime) && std::isnan(b.retryTime))) ||
        a.lastInstance != b.lastInstance || a.balance != b.balance ||
        a.balanceKeyed != b.balanceKeyed || a.connectTimeout != b.connectTimeout ||
        a.replyTimeout != b.replyTimeout || a.keepAlive != b.keepAlive ||
        a.keepAliveTimeout != b.keepAliveTimeout) {
        return false;
    }
    for (size_t i = 0; i < a.extraInstances.size(); ++i) {
        if (!sameInstance(a.extraInstances[i], b.extraInstances[i])) {
            return false;
        }
    }
    return true;
}

bool sameTable(const GroupTable& a, const GroupTable& b) {
    if (a.groupCount != b.groupCount || a.adminEnabled != b.adminEnabled ||
        a.statusPath != b.statusPath) {
        return false;
    }
    for (int i = 0; i < a.groupCount; ++i) {
        if (!sameGroup(a.groups[i], b.groups[i])) {
            return false;
        }
    }
    return true;
}

// A whole table as GetFilterVersion builds it; on the heap, it is large.
std::unique_ptr<GroupTable> tableOf(std::string_view text) {
    auto table = std::make_unique<GroupTable>();
    brevant::adapter::parseProperties(*table, text);
    brevant::adapter::supplyDefaults(*table);
    return table;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::quietDebugOutput();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input = fuzzsupport::inputText(data, size);
    tableOf(input);
    const std::string lfText = lfForm(input);
    auto withLf = tableOf(lfText);
    auto withCrLf = tableOf(crLfForm(lfText));
    if (!sameTable(*withLf, *withCrLf)) {
        std::abort();
    }
    return 0;
}
