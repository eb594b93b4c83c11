// The differences between the Windows and the Linux build of Brevant_Adapter, and nowhere
// else: the separator of a module's path.
#ifndef BREVANT_ADAPTER_ADAPTER_PLATFORM_H
#define BREVANT_ADAPTER_ADAPTER_PLATFORM_H

namespace brevant::adapter {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

}  // namespace brevant::adapter

#endif  // BREVANT_ADAPTER_ADAPTER_PLATFORM_H
