#include "native/adapter/adapter_groups.h"

namespace brevant::adapter {

AdapterGroup groups[kMaxGroups];
int32_t groupCount = 0;
bool adminEnabled = true;

void resetGroups() {
    for (AdapterGroup& group : groups) {
        group = AdapterGroup();
    }
    groupCount = 0;
    adminEnabled = true;
}

}  // namespace brevant::adapter
