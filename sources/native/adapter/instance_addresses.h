// The addresses of instance entries that are not IPv4 literals: host names and IPv6 literals
// in brackets, which a group may use once it names a balance policy. A file without one
// keeps every entry as inet_addr reads it.
//
// Called by GetFilterVersion on the loading thread, after the whole file is parsed (the
// "balance" key may follow the "instances" key) and before any request arrives.
#ifndef BREVANT_ADAPTER_INSTANCE_ADDRESSES_H
#define BREVANT_ADAPTER_INSTANCE_ADDRESSES_H

#include "native/adapter/adapter_groups.h"

namespace brevant::adapter {

// Resolves the names and IPv6 literals of every group with a balance key, once, and says in
// the debugger output what each stands for or why it stands for nothing; reports the
// instances that the policy "first" never routes to.
void resolveInstances(GroupTable& table);

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_INSTANCE_ADDRESSES_H
