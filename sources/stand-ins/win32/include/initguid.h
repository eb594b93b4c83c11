// On Windows, including initguid.h makes the GUIDs that later headers declare be defined in
// that source file. The stand-in's GUIDs are always defined (see DEFINE_GUID in objbase.h),
// so this header only keeps such sources compiling unchanged.
#ifndef STANDIN_WIN32_INITGUID_H
#define STANDIN_WIN32_INITGUID_H

#ifndef INITGUID
#define INITGUID
#endif

#include <objbase.h>

#endif  // STANDIN_WIN32_INITGUID_H
