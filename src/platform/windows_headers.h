// <windows.h> as the Win32 platform layer includes it: without the rarely
// used parts (WIN32_LEAN_AND_MEAN) and without the min and max macros, which
// would break std::min and std::numeric_limits<>::max (NOMINMAX).
#pragma once

#if defined(_WIN32)

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#endif  // _WIN32
