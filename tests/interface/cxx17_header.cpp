// The public header compiles as C++17 on its own.
#include "vendrel.h"

static_assert(sizeof(vendrel_wchar) == 2, "UTF-16 code units");
static_assert(sizeof(vendrel_systemtime) == 16, "the SYSTEMTIME layout");
