#include "mime/media_type.h"

#include <gtest/gtest.h>

namespace vendrel {
namespace {

TEST(MediaType, NamesAreNumberedInOrder) {
  struct Case {
    const char* name;
    CMimeMediaType type;
    int number;
  };
  const Case cases[] = {
      {"text", CMimeMediaType::text, 0},          {"IMAGE", CMimeMediaType::image, 1},
      {"Audio", CMimeMediaType::audio, 2},        {"video", CMimeMediaType::video, 3},
      {"vedio", CMimeMediaType::video, 3},        {"application", CMimeMediaType::application, 4},
      {"multipart", CMimeMediaType::multipart, 5}, {"message", CMimeMediaType::message, 6},
      {"x-custom", CMimeMediaType::other, 7},     {"", CMimeMediaType::other, 7},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(media_type_from_name(c.name), c.type) << c.name;
    EXPECT_EQ(static_cast<int>(c.type), c.number) << c.name;
  }
  EXPECT_EQ(media_type_name(CMimeMediaType::multipart), "multipart");
  EXPECT_EQ(media_type_name(CMimeMediaType::other), "");
}

TEST(MediaType, FileExtensionsGiveContentTypes) {
  struct Case {
    const char* file;
    const char* type;
  };
  const Case cases[] = {
      {"a.xml", "application/xml"},
      {"a.doc", "application/msword"},
      {"a.rtf", "application/rtf"},
      {"a.xls", "application/vnd.ms-excel"},
      {"a.ppt", "application/vnd.ms-powerpoint"},
      {"report.PDF", "application/pdf"},
      {"a.zip", "application/zip"},
      {"a.jpeg", "image/jpeg"},
      {"a.JPG", "image/jpeg"},
      {"a.gif", "image/gif"},
      {"a.tif", "image/tiff"},
      {"a.tiff", "image/tiff"},
      {"a.wav", "audio/basic"},
      {"a.mp3", "audio/basic"},
      {"a.mpg", "video/mpeg"},
      {"a.mpeg", "video/mpeg"},
      {"archive.tar.gz", "application/octet-stream"},
      {"data.bin", "application/octet-stream"},
      {"pdf", "application/octet-stream"},
      {"name.", "application/octet-stream"},
      {"", "application/octet-stream"},
      {"the.pdf.exe", "application/octet-stream"},
  };
  for (const Case& c : cases) EXPECT_EQ(content_type_for_file_name(c.file), c.type) << c.file;
}

}  // namespace
}  // namespace vendrel
