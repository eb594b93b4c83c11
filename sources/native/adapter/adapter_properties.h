// Reading brevant.properties into a group table (adapter_groups.h).
//
// GetFilterVersion calls these on the process-wide table, on the IIS thread that loads the
// filter and before any request arrives (the contract in adapter_groups.h). Every problem
// is reported to the debugger output; none stops the load.
#ifndef BREVANT_ADAPTER_ADAPTER_PROPERTIES_H
#define BREVANT_ADAPTER_ADAPTER_PROPERTIES_H

#include "native/adapter/adapter_groups.h"

namespace brevant::adapter {

// Finds brevant.properties in the folder of the module file "Brevant_Adapter.dll", reads it
// and parses it into the table. When the module, its path or the file cannot be had, says
// so and leaves the table as it is.
void loadProperties(GroupTable& table);

// Fills in what the file left out: with no group, the group "default" at 127.0.0.1:8888;
// otherwise that instance for groups that named none, and the server "all" for groups that
// named no server.
void supplyDefaults(GroupTable& table);

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_ADAPTER_PROPERTIES_H
