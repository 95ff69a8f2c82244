// SetLogFile: the one log call. It returns nothing and never fails.
#include "common/logger.h"
#include "vendrel.h"

extern "C" VENDREL_API void SetLogFile(const char* path) {
  if (!path) return;
  try {
    auto& log = vendrel::logger();
    log.open(path, false);
    log.write_machine_info();
  } catch (...) {
    // Logging never reaches the caller.
  }
}
