// The text formats of the Win32 stand-in's stores: the REGEDIT4 file of STANDIN_REGISTRY and
// the metabase file of STANDIN_METABASE, both read from the input. What the writer makes of
// a parsed tree must read back, without a problem, into a tree the writer writes the same
// again: otherwise a store that rewrites its file would change or lose entries. A
// difference aborts.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_input.h"
#include "stand-ins/win32/src/metabase/metabase_text.h"
#include "stand-ins/win32/src/registry/regedit4_format.h"

namespace {

void checkRegistry(std::string_view input) {
    using namespace standin::registry;
    const std::string written = formatRegedit4(parseRegedit4(input));
    if (formatRegedit4(parseRegedit4(written)) != written) {
        std::abort();
    }
}

void checkMetabase(std::string_view input) {
    using namespace standin::metabase;
    std::vector<ParseProblem> problems;
    const std::string written = formatMetabase(*parseMetabase(input, &problems));
    problems.clear();
    const std::string rewritten = formatMetabase(*parseMetabase(written, &problems));
    if (!problems.empty() || rewritten != written) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view input = fuzzsupport::inputText(data, size);
    checkRegistry(input);
    checkMetabase(input);
    return 0;
}
