// The library-wide tables of the MIME classes: which codec serves a
// transfer encoding, which field codec a header field, and the automatic
// folding switch that both depend on.
#pragma once

#include <memory>
#include <string_view>

#include "mime/code_base.h"
#include "mime/field_code.h"

namespace vendrel {

class CMimeEnvironment {
 public:
  // Automatic folding (on by default) breaks long header lines and, through
  // the 7bit codec, long lines of 7bit / 8bit bodies.
  static bool auto_folding();
  static void set_auto_folding(bool on);

  // The codec of a Content-Transfer-Encoding value: quoted-printable and
  // base64 (body mode, line breaks), 7bit and 8bit the folding codec while
  // folding is on and none (nullptr: plain copy) while it is off, anything
  // else the copying base codec. Names compare without case; parameters
  // after ";" and blanks around are ignored, inner blanks read as "-".
  static std::unique_ptr<CMimeCodeBase> create_transfer_codec(std::string_view encoding);

  // The field codec of a header field name (compared without case).
  static std::unique_ptr<CFieldCodeBase> create_field_codec(std::string_view field_name);
};

// True for the encodings that leave content as it is: none, 7bit, 8bit,
// binary. An embedded message is written unchanged under these.
bool is_identity_transfer(std::string_view encoding);

// The encoded or decoded content for a transfer encoding.
std::string encode_transfer(std::string_view encoding, std::string_view content);
std::string decode_transfer(std::string_view encoding, std::string_view content);

}  // namespace vendrel
