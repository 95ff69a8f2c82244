// The commands that read a PST file.
#pragma once

#include "options.h"

namespace vendrel::cli {

int run_check(const CheckOptions& options);
int run_list(const ListOptions& options);

}  // namespace vendrel::cli
