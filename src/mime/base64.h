// The Base64 transfer encoding (RFC 2045, 6.8).
#pragma once

#include "mime/code_base.h"

namespace vendrel {

class CMimeCodeBase64 : public CMimeCodeBase {
 public:
  static constexpr size_t kLineLength = 76;

  // Line breaking (the default, for bodies) puts CR LF after every 76 output
  // characters and at the end; encoded words switch it off.
  void set_line_breaks(bool on) { line_breaks_ = on; }
  bool line_breaks() const { return line_breaks_; }

  size_t output_length() const override;

 protected:
  void encode_into(CMimeOutput& out) const override;
  // Characters outside the alphabet (line ends, blanks, junk) are skipped;
  // the first "=" ends the data. A final group of two or three characters
  // gives one or two bytes; a single left-over character carries less than
  // a byte and is dropped.
  void decode_into(CMimeOutput& out) const override;

 private:
  bool line_breaks_ = true;
};

}  // namespace vendrel
