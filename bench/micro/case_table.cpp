// Every case of connector_bench, in the order of its reports.
#include <algorithm>

#include "adapter_cases.h"
#include "bench_case.h"
#include "inprocess_cases.h"
#include "inprocess_engine_cases.h"

namespace bench {

namespace {

constexpr BenchCase kCases[] = {
    {"adapter_filter/servlet_url", setupAdapterFilter, nullptr, adapterFilterServletUrl,
     adapterFilterRouted, teardownAdapterFilter},
    {"adapter_filter/static_url", setupAdapterFilter, nullptr, adapterFilterStaticUrl,
     adapterFilterPassed, teardownAdapterFilter},
    {"inprocess_filter/servlet_url", setupInprocessFilter, nullptr, inprocessFilterServletUrl,
     inprocessFilterRouted, teardownInprocessFilter},
    {"inprocess_request_text", setupInprocessRequestText, nullptr, inprocessRequestText,
     inprocessRequestTextBuilt, teardownInprocessRequestText},
    {"adapter_head", setupAdapterHead, nullptr, adapterHead, adapterHeadSent, teardownAdapterHead},
    {"adapter_commands", setupAdapterCommands, prepareAdapterCommands, adapterCommands,
     adapterCommandsServed, teardownAdapterCommands},
    // Last: it starts the process's one VM (inprocess_engine_cases.h).
    {"inprocess_filter/static_url", setupInprocessEngine, nullptr, inprocessFilterStaticUrl,
     inprocessFilterPassed, teardownInprocessEngine, true},
};

}  // namespace

std::span<const BenchCase> benchCases() {
    return kCases;
}

const BenchCase* findCase(std::string_view name) {
    auto found = std::find_if(std::begin(kCases), std::end(kCases),
                              [name](const BenchCase& c) { return name == c.name; });
    return found == std::end(kCases) ? nullptr : found;
}

}  // namespace bench
