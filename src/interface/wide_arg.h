// The public header's wide character type is wchar_t on Windows and char16_t
// elsewhere; both are UTF-16 code units. Inside, the library uses char16_t.
#pragma once

#include "vendrel.h"

namespace vendrel {

static_assert(sizeof(vendrel_wchar) == sizeof(char16_t), "wide strings are UTF-16");

inline const char16_t* wide_arg(const vendrel_wchar* text) { return reinterpret_cast<const char16_t*>(text); }

}  // namespace vendrel
