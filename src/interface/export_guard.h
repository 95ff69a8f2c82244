// Every exported function runs its body through guarded(): no C++ exception
// may reach a C or Python host. File errors give -5, the other error classes
// their own code (-2 for bad arguments and calls, -3 for lack of memory),
// anything else -1; each is written to the log with the operation's name,
// and the library-wide state stays usable for the next call.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <string_view>

#include "common/errors.h"

namespace vendrel {

// Writes "[ERROR]: <operation>: <message> [<code>]"; never throws.
void log_export_failure(std::string_view operation, std::string_view message, int32_t code) noexcept;

template <typename Body>
int32_t guarded(std::string_view operation, Body&& body) noexcept {
  try {
    return body();
  } catch (const qm_cwf_error& e) {
    log_export_failure(operation, e.message(), -5);
    return -5;
  } catch (const qm_crf_error& e) {
    log_export_failure(operation, e.message(), -5);
    return -5;
  } catch (const qm_retcode& e) {
    log_export_failure(operation, e.message(), e.code());
    return e.code();
  } catch (const std::bad_alloc&) {
    log_export_failure(operation, "out of memory", -3);
    return -3;
  } catch (const std::exception& e) {
    log_export_failure(operation, e.what(), -1);
    return -1;
  } catch (...) {
    log_export_failure(operation, "unknown error", -1);
    return -1;
  }
}

}  // namespace vendrel
