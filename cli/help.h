// The texts of --help and --version.
#pragma once

#include <cstdio>

#include "options.h"

namespace vendrel::cli {

void print_help(Command topic, std::FILE* out);
void print_version(std::FILE* out);
// One line pointing at --help, after an error in the arguments.
void print_usage_hint(std::FILE* out);

}  // namespace vendrel::cli
