// Media types (the type part of Content-Type) and the content type an
// attachment gets from its file name.
#pragma once

#include <string>
#include <string_view>

namespace vendrel {

enum class CMimeMediaType : int {
  text = 0,
  image = 1,
  audio = 2,
  video = 3,
  application = 4,
  multipart = 5,
  message = 6,
  other = 7,
};

// The number of a type name, compared without case; unknown names are
// `other`. The misspelling "vedio" is read as video too.
CMimeMediaType media_type_from_name(std::string_view name);
// The name written for a type ("" for `other`).
std::string_view media_type_name(CMimeMediaType type);

// "type/subtype" for a file name, from the extension after its last full
// stop (compared without case): pdf gives application/pdf, jpg image/jpeg,
// anything unknown application/octet-stream.
std::string content_type_for_file_name(std::string_view file_name);

}  // namespace vendrel
