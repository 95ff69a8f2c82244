#include "interface/export_guard.h"

#include <string>

#include "common/logger.h"

namespace vendrel {

void log_export_failure(std::string_view operation, std::string_view message, int32_t code) noexcept {
  try {
    std::string text(operation);
    if (!message.empty()) {
      text += ": ";
      text += message;
    }
    logger().write_error_code(text, code);
  } catch (...) {
    // Logging never changes a result.
  }
}

}  // namespace vendrel
