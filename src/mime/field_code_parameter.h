// The codec of fields with parameters (Content-Type, Content-Disposition).
#pragma once

#include "mime/field_code.h"

namespace vendrel {

class CFieldCodeParameter : public CFieldCodeBase {
 public:
  // The "tspecials" of RFC 2045.
  bool is_special(char c) const override;

 protected:
  // A parameter value that needs encoding is written as a quoted string of
  // encoded words. The boundary is never encoded: its bytes must match the
  // delimiter lines exactly. The main value is copied.
  void encode_into(CMimeOutput& out) const override;
  // Parameters in RFC 2231 form or with encoded words are rewritten as plain
  // attribute="decoded value"; the rest is copied.
  void decode_into(CMimeOutput& out) const override;
};

}  // namespace vendrel
