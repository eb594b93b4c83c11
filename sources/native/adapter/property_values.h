// The values of the group properties of brevant.properties: instance lists, retry time, the
// lists of aliases, servers and applications, the balance policy and the time-outs, each
// parsed into its group's record.
//
// Called by parseProperties only, on the thread that loads the filter. Every entry is
// reported to the debugger output as it is recorded.
#ifndef BREVANT_ADAPTER_PROPERTY_VALUES_H
#define BREVANT_ADAPTER_PROPERTY_VALUES_H

#include <string>

#include "native/adapter/adapter_groups.h"

namespace brevant::adapter {

// Where a value came from, for diagnostics that must let the administrator find it.
struct PropertySource {
    std::string key;  // as written in the file
    int line = 0;     // 1 for the first line of the file
};

// "host[:port]" entries separated by ",", up to the first empty entry, replacing the list of
// an earlier line. The first is the group's instance, the others go to extraInstances. A
// host or port text beyond the limits of the model is recorded with an address no
// connection reaches. Host names and IPv6 literals are resolved later, once the whole file
// has told whether the group allows them (resolveInstances).
void parseInstances(AdapterGroup& group, const std::string& value, const PropertySource& source);

// The leading decimal number of the value, 0 when it has none.
void parseRetryTime(AdapterGroup& group, const std::string& value);

// Aliases beginning with "/" are path aliases, the others suffix aliases.
void parseAliases(AdapterGroup& group, const std::string& value);

// Host names, stored as written; "servers" and "hosts" both come here.
void parseServers(AdapterGroup& group, const std::string& value);

// Application URL prefixes; entries that do not begin with "/" are reported and dropped.
void parseApplications(AdapterGroup& group, const std::string& value);

// "first", "failover" or "roundrobin" in any letter case; anything else is reported and
// changes nothing.
void parseBalance(AdapterGroup& group, const std::string& value, const PropertySource& source);

// "connecttimeout" and "replytimeout" (milliseconds, 0 for none), "keepalive" (idle
// connections per instance, 0 for none) and "keepalivetimeout" (seconds): a whole number up to
// what each allows; anything else is reported and changes nothing. Other properties are
// left alone.
void parseWholeNumberProperty(AdapterGroup& group, const std::string& property,
                              const std::string& value, const PropertySource& source);

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_PROPERTY_VALUES_H
