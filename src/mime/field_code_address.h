// The codec of address list fields (From, To, Cc, Bcc, Reply-To and their
// Resent- forms). Only display names and comments may hold encoded words;
// addresses are copied as they are.
#pragma once

#include "mime/field_code.h"

namespace vendrel {

class CFieldCodeAddress : public CFieldCodeBase {
 protected:
  // A display name that needs encoding becomes one run of encoded words as
  // a whole, its quoted strings unquoted, so that the blanks and specials in
  // it survive; a comment likewise inside its parentheses.
  void encode_into(CMimeOutput& out) const override;
  // Display names and comments with encoded words are decoded; a decoded
  // name that holds specials is written as a quoted string, so that the
  // list can still be split at its commas.
  void decode_into(CMimeOutput& out) const override;
};

}  // namespace vendrel
