// <windows.h> without the parts that clash with standard C++ (min and max
// macros) or that the plug-ins never use.
#ifndef BITS_MEX_WINDOWS_API_H
#define BITS_MEX_WINDOWS_API_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#endif
