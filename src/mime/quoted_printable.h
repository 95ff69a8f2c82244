// The quoted-printable transfer encoding (RFC 2045, 6.7).
#pragma once

#include "mime/code_base.h"

namespace vendrel {

class CMimeCodeQP : public CMimeCodeBase {
 public:
  // Longest output line, the soft-break "=" included.
  static constexpr size_t kMaxLineLength = 75;

  // Body mode (the default) treats CR LF and bare LF as line ends and
  // copies them (a CR without LF is encoded); outside it CR and LF are data
  // and encoded (=0D, =0A).
  void set_body_mode(bool body) { body_mode_ = body; }
  bool body_mode() const { return body_mode_; }

 protected:
  void encode_into(CMimeOutput& out) const override;
  // "=XX" (either case) gives the byte, "=" before a line end (or at the end
  // of the input) is a soft break and removed, blanks before a line end were
  // added in transport and are dropped. An "=" that starts neither stays as
  // it is.
  void decode_into(CMimeOutput& out) const override;

 private:
  bool body_mode_ = true;
};

}  // namespace vendrel
