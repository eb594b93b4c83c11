// The two steps of loadProperties, for the tests and the micro-benchmark that drive them
// without a module file; no other code may use them.
#ifndef BREVANT_ADAPTER_ADAPTER_PROPERTIES_INTERNAL_H
#define BREVANT_ADAPTER_ADAPTER_PROPERTIES_INTERNAL_H

#include <string>
#include <string_view>

#include "native/adapter/adapter_groups.h"

namespace brevant::adapter {

// Appends the content of the file at `path` to `*text`, read in pieces of at most 511
// bytes; a NUL byte in the file ends the text of its piece. False when the file cannot be
// opened.
bool readPropertiesFile(const std::string& path, std::string* text);

// Parses the text of a brevant.properties file into the table. A line ends at CR LF or at
// a lone LF; a lone CR is an ordinary character.
// REQUIRES: the table is value-initialised, or holds earlier lines of this file.
void parseProperties(GroupTable& table, std::string_view text);

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_ADAPTER_PROPERTIES_INTERNAL_H
