#include "native/adapter/adapter_groups.h"

namespace brevant::adapter {

GroupTable processGroupTable;

}  // namespace brevant::adapter
