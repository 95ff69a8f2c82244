// The binding calls through the shared library, as a host sees them: result
// codes, refused arguments that leave the library usable, and the log.
#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"
#include "vendrel.h"

namespace {

using vendrel::test::TempDir;

std::string log_without_header_and_stamps(const std::string& text) {
  std::string out;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) end = text.size() - 1;
    std::string line = text.substr(pos, end - pos + 1);
    bool stamp = line.size() == 11 && line[0] == '[' && line[3] == ':' && line[6] == ':';
    if (!stamp && line.rfind("[PST]", 0) == 0) out += line;
    if (!stamp && line.rfind("[ERROR]", 0) == 0) out += line;
    pos = end + 1;
  }
  return out;
}

TEST(ApiBinding, RefusedArgumentsGiveCodesAndTheNextCallsStillWork) {
  uint32_t value = 7;
  EXPECT_EQ(Bind_subjA(nullptr, 0), -2);
  EXPECT_EQ(Bind_body(nullptr), -2);
  EXPECT_EQ(Bind_attach(nullptr, 5, "x", nullptr, nullptr, nullptr, 1, 0), -2);
  EXPECT_EQ(Bind_attach(&value, -5, "x", nullptr, nullptr, nullptr, 1, 0), -2);
  EXPECT_EQ(BindTaggedProp(0x00170003, nullptr, 4), -2);
  EXPECT_EQ(BindLiteralProp("Z0017", &value, 4), -1);
  EXPECT_EQ(BindLiteralProp(nullptr, &value, 4), -2);

  EXPECT_EQ(Bind_subjA("fine", 0), 0);
  EXPECT_EQ(Bind_attach(&value, 4, "v.bin", nullptr, nullptr, nullptr, 1, 0), 0);
  EXPECT_EQ(BindLiteralProp("L0017", &value, 4), 0);
  EXPECT_EQ(BClear(), 0);
  EXPECT_EQ(BClearA(), 0);
}

TEST(ApiBinding, EveryValueCallReturnsZero) {
  vendrel_systemtime t{2020, 5, 0, 17, 8, 9, 10, 11};
  const vendrel_wchar text[] = {'t', 0};
  const int32_t results[] = {
      Bind_codepage(65001), Bind_codepageA(1252), Bind_importance(2), Bind_importanceA(0),
      Bind_flags(1), Bind_flagsA(1), Bind_priority(-1), Bind_priorityA(1),
      Bind_sensitivity(3), Bind_sensitivityA(3), Bind_creation_time(1, 2), Bind_creation_timeA(1, 2),
      Bind_last_modified_time(1, 2), Bind_last_modified_timeA(1, 2), Bind_client_submit_time(1, 2),
      Bind_client_submit_timeA(1, 2), Bind_delivery_time(1, 2), Bind_delivery_timeA(1, 2),
      Bind_creation_time_s(t), Bind_creation_time_sA(t), Bind_last_modified_time_s(t),
      Bind_last_modified_time_sA(t), Bind_client_submit_time_s(t), Bind_client_submit_time_sA(t),
      Bind_delivery_time_s(t), Bind_delivery_time_sA(t), Bind_html_body(text), Bind_html_bodyA("h"),
      Bind_message_headers(text), Bind_message_headersA("h"), Bind_billing_information(text),
      Bind_billing_informationA("b"), Bind_mileage(text), Bind_mileageA("m"), Bind_rtf_body("e30="),
      Bind_rtf_bodyA("e30="), Bind_sender(nullptr, nullptr, nullptr), Bind_senderA("a@b", nullptr, nullptr),
      Bind_recipient(text, nullptr, nullptr, 1, 0), Bind_recipientA(nullptr, nullptr, nullptr, 1, 0),
  };
  for (size_t i = 0; i < std::size(results); ++i) EXPECT_EQ(results[i], 0) << "call " << i;
  BClear();
  BClearA();
}

TEST(ApiBinding, LogFileGetsTheHeaderTheClearLinesAndRefusals) {
  TempDir dir;
  auto path = (dir / "api.log").string();
  SetLogFile(path.c_str());
  Bind_attach("abc", 3, "report.pdf", nullptr, nullptr, nullptr, 1, 0);
  Bind_body(nullptr);
  BClear();
  BClearA();  // logs nothing
  SetLogFile(nullptr);  // ignored: the log stays where it is
  BClear();
  std::string text = vendrel::test::read_file_text(path);
  EXPECT_EQ(text.rfind("[", 0), 0u);  // a stamp line first
  EXPECT_NE(text.find("============== LOGGER MACHINE INFO =================\n"), std::string::npos);
  EXPECT_EQ(text.find('\r'), std::string::npos);
  EXPECT_EQ(log_without_header_and_stamps(text),
            "[ERROR]: Bind_body: null string [-2]\n"
            "[PST] delete attaches\n"
            "[PST] deleting attach [report.pdf]\n"
            "[PST] delete binded props\n"
            "[PST] delete recipients\n"
            "[PST] delete attaches\n"
            "[PST] delete binded props\n"
            "[PST] delete recipients\n");
}

TEST(ApiBinding, UnopenableLogPathIsSilent) {
  TempDir dir;
  auto path = (dir / "missing" / "dir" / "x.log").string();
  SetLogFile(path.c_str());
  EXPECT_EQ(BClear(), 0);
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
