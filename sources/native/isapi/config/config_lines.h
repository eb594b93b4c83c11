// The line syntax shared by vmoptions.properties and vmproperties.properties: one entry
// per line, "#" in the first column makes a comment, empty lines do not count.
#ifndef BREVANT_ISAPI_CONFIG_CONFIG_LINES_H
#define BREVANT_ISAPI_CONFIG_CONFIG_LINES_H

#include <functional>
#include <string_view>

namespace brevant::isapi {

constexpr size_t kMaxLineLength = 511;

// Hands each entry of `text` (lines split at any run of CR and LF, unchanged, no
// trimming) to `store`, at most `limit` of them. After storing the limit-th entry it logs
// `limitMessage` and stops. A line longer than kMaxLineLength is skipped and logged under
// `fileName`. Returns the number stored.
// REQUIRES: limit > 0.
int collectLines(std::string_view text, const char* fileName, int limit, const char* limitMessage,
                 const std::function<void(int slot, std::string_view line)>& store);

}  // namespace brevant::isapi

#endif  // BREVANT_ISAPI_CONFIG_CONFIG_LINES_H
