// The library's error classes. Inside the library failures travel as
// exceptions of this one tree; the exported functions turn them into result
// codes at the boundary (interface/export_guard.h), so none reaches a host.
//
//   qm_error
//   └─ qm_retcode (signed 32-bit code)
//      ├─ qm_internal_error (-2)
//      │  ├─ qm_invalid_arg (-2): bad argument, size, index or unreadable buffer
//      │  └─ qm_invalid_call (-2): not allowed in the object's state
//      ├─ qm_enomem_error (-3): out of memory
//      ├─ qm_cwf_error (-5): cannot write the file
//      └─ qm_crf_error (-4): cannot read a file
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <utility>

namespace vendrel {

class qm_error : public std::exception {
 public:
  explicit qm_error(std::string message = {}) : message_(std::move(message)) {}
  const char* what() const noexcept override { return message_.c_str(); }
  const std::string& message() const noexcept { return message_; }

 private:
  std::string message_;
};

class qm_retcode : public qm_error {
 public:
  qm_retcode(int32_t code, std::string message = {}) : qm_error(std::move(message)), code_(code) {}
  int32_t code() const noexcept { return code_; }

 private:
  int32_t code_;
};

class qm_internal_error : public qm_retcode {
 public:
  explicit qm_internal_error(std::string message = {}, int32_t code = -2)
      : qm_retcode(code, std::move(message)) {}
};

class qm_invalid_arg : public qm_internal_error {
 public:
  explicit qm_invalid_arg(std::string message = {}, int32_t code = -2)
      : qm_internal_error(std::move(message), code) {}
};

class qm_invalid_call : public qm_internal_error {
 public:
  explicit qm_invalid_call(std::string message = {}, int32_t code = -2)
      : qm_internal_error(std::move(message), code) {}
};

class qm_enomem_error : public qm_retcode {
 public:
  explicit qm_enomem_error(std::string message = {}, int32_t code = -3)
      : qm_retcode(code, std::move(message)) {}
};

class qm_cwf_error : public qm_retcode {
 public:
  explicit qm_cwf_error(std::string message = {}, int32_t code = -5)
      : qm_retcode(code, std::move(message)) {}
};

class qm_crf_error : public qm_retcode {
 public:
  explicit qm_crf_error(std::string message = {}, int32_t code = -4)
      : qm_retcode(code, std::move(message)) {}
};

}  // namespace vendrel
