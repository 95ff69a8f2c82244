// Inputs the fuzz targets (fuzz/) found faults with, kept as regression
// cases: each is read, composed again and read back without a fault (the
// sanitizer build of the tests is what sees a bad read).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "eml/eml_reader.h"
#include "eml/eml_record.h"
#include "mime/mime_message.h"

namespace vendrel {
namespace {

namespace fs = std::filesystem;

TEST(FuzzRegressions, EveryFindingReadsAndStoresAgain) {
  const fs::path dir = fs::path(VENDREL_SOURCE_DIR) / "fuzz" / "seeds" / "regressions";
  size_t count = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    CMimeMessage message;
    message.load(text);
    const ImportedMessage imported = read_eml(message);
    CMimeMessage again;
    again.load(message.to_string());
    EXPECT_EQ(read_eml(again).subject, imported.subject) << entry.path();
    ++count;
  }
  EXPECT_GE(count, 1u);
}

// The first finding: the X-Priority and Content-ID values were read through
// views of temporaries.
TEST(FuzzRegressions, PriorityAndContentIdOfTemporaryFields) {
  const ImportedMessage m = read_eml(
      "X-Priority:   4 (Low)  \r\nContent-Type: image/gif\r\nContent-ID:  <a@b>  \r\n\r\nGIF89a");
  EXPECT_EQ(m.importance, 0u);
  ASSERT_EQ(m.attachments.size(), 1u);
  EXPECT_EQ(m.attachments[0].content_id, "a@b");
}

}  // namespace
}  // namespace vendrel
