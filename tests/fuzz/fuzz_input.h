// What the fuzz targets share: quiet debugger output and an input cut into named parts.
#ifndef TESTS_FUZZ_FUZZ_INPUT_H
#define TESTS_FUZZ_FUZZ_INPUT_H

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace fuzzsupport {

// The separator between the parts of one input; the dictionaries list it too.
inline constexpr std::string_view kPartSeparator = "\n----\n";

// The product reports every entry it parses on the Win32 stand-in's debugger output, by
// default to stderr: millions of inputs would spend their time writing there.
inline void quietDebugOutput() {
    setenv("STANDIN_DEBUG_OUTPUT", "/dev/null", 1);
}

inline std::string_view inputText(const uint8_t* data, size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

// The input cut at each separator, into at most `limit` parts (the last keeps the rest).
inline std::vector<std::string_view> splitParts(std::string_view input, size_t limit) {
    std::vector<std::string_view> parts;
    while (parts.size() + 1 < limit) {
        size_t separator = input.find(kPartSeparator);
        if (separator == std::string_view::npos) {
            break;
        }
        parts.push_back(input.substr(0, separator));
        input.remove_prefix(separator + kPartSeparator.size());
    }
    parts.push_back(input);
    return parts;
}

}  // namespace fuzzsupport

#endif  // TESTS_FUZZ_FUZZ_INPUT_H
