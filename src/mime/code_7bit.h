// The 7bit / 8bit transfer encodings: the content goes out as it is, except
// that encoding folds lines longer than 76 characters.
#pragma once

#include "mime/code_base.h"

namespace vendrel {

class CMimeCode7bit : public CMimeCodeBase {
 public:
  static constexpr size_t kMaxLineLength = 76;

 protected:
  // A line longer than 76 characters is broken by a CR LF before its last
  // delimiter (blank, tab, vertical tab, form feed), which then starts the
  // next line. A line without a delimiter cannot be broken and stays long.
  void encode_into(CMimeOutput& out) const override;
};

}  // namespace vendrel
