// The separator of folders in file paths on the platform the build is for.
#ifndef BREVANT_COMMON_PATH_SEPARATOR_H
#define BREVANT_COMMON_PATH_SEPARATOR_H

namespace brevant {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

}  // namespace brevant

#endif  // BREVANT_COMMON_PATH_SEPARATOR_H
