// The service's Parameters key, which the service reads at every start and stop: "Start"
// and "Stop" from Enlistor's settings. Called once by main's one thread, after the service
// was created.
#ifndef BREVANT_INSTALLER_REGISTRY_ENTRIES_H
#define BREVANT_INSTALLER_REGISTRY_ENTRIES_H

namespace brevant::installer {

// Creates or opens the Parameters key of settings().service_name and writes both values.
// False, after its message, at the first failure; what was written stays.
bool CreateRegistryEntries();

}  // namespace brevant::installer

#endif  // BREVANT_INSTALLER_REGISTRY_ENTRIES_H
