// Reading brevant.properties into the group table (adapter_groups.h).
//
// Called only by GetFilterVersion, on the IIS thread that loads the filter and before any
// request arrives; nothing writes the table afterwards, so the request threads read it
// without a lock. Every problem is reported to the debugger output; none stops the load.
#ifndef BREVANT_ADAPTER_ADAPTER_PROPERTIES_H
#define BREVANT_ADAPTER_ADAPTER_PROPERTIES_H

namespace brevant::adapter {

// Finds brevant.properties in the folder of the module file "Brevant_Adapter.dll", reads it
// and parses it into the table. When the module, its path or the file cannot be had, says
// so and leaves the table as it is.
void loadProperties();

// Fills in what the file left out: with no group, the group "default" at 127.0.0.1:8888;
// otherwise that instance for groups that named none, and the server "all" for groups that
// named no server.
void supplyDefaults();

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_ADAPTER_PROPERTIES_H
