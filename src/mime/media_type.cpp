#include "mime/media_type.h"

#include "mime/ascii.h"

namespace vendrel {

using namespace mime;

namespace {

constexpr std::string_view kTypeNames[] = {"text", "image", "audio", "video", "application", "multipart", "message"};

struct ExtensionType {
  std::string_view extension;
  std::string_view content_type;
};

// First match wins.
constexpr ExtensionType kExtensions[] = {
    {"xml", "application/xml"},
    {"doc", "application/msword"},
    {"rtf", "application/rtf"},
    {"xls", "application/vnd.ms-excel"},
    {"ppt", "application/vnd.ms-powerpoint"},
    {"pdf", "application/pdf"},
    {"zip", "application/zip"},
    {"jpeg", "image/jpeg"},
    {"jpg", "image/jpeg"},
    {"gif", "image/gif"},
    {"tif", "image/tiff"},
    {"tiff", "image/tiff"},
    {"wav", "audio/basic"},
    {"mp3", "audio/basic"},
    {"mpg", "video/mpeg"},
    {"mpeg", "video/mpeg"},
};

}  // namespace

CMimeMediaType media_type_from_name(std::string_view name) {
  name = trim(name);
  for (size_t i = 0; i < std::size(kTypeNames); ++i)
    if (iequals(name, kTypeNames[i])) return static_cast<CMimeMediaType>(i);
  if (iequals(name, "vedio")) return CMimeMediaType::video;
  return CMimeMediaType::other;
}

std::string_view media_type_name(CMimeMediaType type) {
  const auto index = static_cast<size_t>(type);
  return index < std::size(kTypeNames) ? kTypeNames[index] : std::string_view();
}

std::string content_type_for_file_name(std::string_view file_name) {
  const size_t dot = file_name.rfind('.');
  if (dot != std::string_view::npos) {
    const std::string_view extension = file_name.substr(dot + 1);
    for (const ExtensionType& entry : kExtensions)
      if (iequals(extension, entry.extension)) return std::string(entry.content_type);
  }
  return "application/octet-stream";
}

}  // namespace vendrel
