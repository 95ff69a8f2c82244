// The binding calls seen from inside: what each leaves in the bound state.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "common/logger.h"
#include "interface/binding.h"
#include "interface/library_state.h"
#include "platform/platform.h"
#include "support/temp_dir.h"
#include "vendrel.h"

namespace vendrel {
namespace {

using test::utf16;

const vendrel_wchar* wa(const std::u16string& s) { return reinterpret_cast<const vendrel_wchar*>(s.c_str()); }

class Binding : public ::testing::Test {
 protected:
  // Each test starts from the state as loaded (times and sender survive BClear).
  void SetUp() override { library_state() = LibraryState(); }
  LibraryState& state = library_state();
};

TEST(BindingDefaults, BothRecordsStartWithTheProcessCodePagesImportanceOneAndFlagsEight) {
  // Each test runs in a process of its own: this is the state as loaded.
  // The narrow record names the code page of an ANSI file's 8-bit strings,
  // the wide one the host's (one code page on Windows, two elsewhere).
  const auto& s = library_state();
  EXPECT_EQ(s.wide.code_page, platform::host_code_page());
  EXPECT_EQ(s.narrow.code_page, platform::file_code_page());
  EXPECT_EQ(s.wide.importance, 1u);
  EXPECT_EQ(s.narrow.importance, 1u);
  EXPECT_EQ(s.wide.message_flags, 8u);
  EXPECT_EQ(s.narrow.message_flags, 8u);
  EXPECT_FALSE(s.wide.subject);
  EXPECT_EQ(s.wide.creation_time, 0u);
  EXPECT_TRUE(s.wide.sender.empty());
  EXPECT_EQ(s.store_open, 0);
  EXPECT_EQ(s.eml_mode, 0);
}

struct SubjectCase {
  const char* text;
  uint32_t prefix_length;
  char16_t second_unit;
};

class SubjectCoding : public Binding, public ::testing::WithParamInterface<SubjectCase> {};

TEST_P(SubjectCoding, StoresOneThenThePrefixLengthPlusOneThenTheText) {
  const auto& c = GetParam();
  auto text = utf16(c.text);
  ASSERT_EQ(Bind_subj(wa(text), c.prefix_length), 0);
  ASSERT_EQ(Bind_subjA(c.text, c.prefix_length), 0);

  std::u16string wide_expected{u'\x01', c.second_unit};
  wide_expected += text;
  EXPECT_EQ(*state.wide.subject, wide_expected);

  std::string narrow_expected{'\x01', static_cast<char>(c.second_unit)};
  narrow_expected += c.text;
  EXPECT_EQ(*state.narrow.subject, narrow_expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, SubjectCoding,
                         ::testing::Values(SubjectCase{"RE: hello", 4, 5}, SubjectCase{"hello", 0, 1},
                                           SubjectCase{"", 0, 1}, SubjectCase{"x", 253, 254},
                                           SubjectCase{"x", 254, 255}, SubjectCase{"x", 255, 1},
                                           SubjectCase{"x", 1000, 1}));

TEST_F(Binding, NonAsciiWideSubjectIsKeptCodeUnitForCodeUnit) {
  auto text = utf16("Grüße 日本 \xF0\x9F\x98\x80");
  ASSERT_EQ(Bind_subj(wa(text), 0), 0);
  EXPECT_EQ(state.wide.subject->substr(2), text);
}

TEST_F(Binding, AStringBoundTwiceKeepsTheSecondValue) {
  ASSERT_EQ(Bind_bodyA("first"), 0);
  ASSERT_EQ(Bind_bodyA("second"), 0);
  EXPECT_EQ(*state.narrow.plain_body, "second");
}

TEST_F(Binding, NullStringsAreRefusedAndLeaveTheFieldAsItWas) {
  ASSERT_EQ(Bind_bodyA("kept"), 0);
  EXPECT_EQ(Bind_bodyA(nullptr), -2);
  EXPECT_EQ(*state.narrow.plain_body, "kept");
  EXPECT_EQ(Bind_subj(nullptr, 0), -2);
  EXPECT_EQ(Bind_html_body(nullptr), -2);
  EXPECT_EQ(Bind_rtf_body(nullptr), -2);
  EXPECT_EQ(Bind_message_headersA(nullptr), -2);
  EXPECT_EQ(Bind_mileage(nullptr), -2);
  EXPECT_FALSE(state.wide.subject);
  EXPECT_EQ(state.wide.rtf_is_base64, 0);
}

TEST_F(Binding, EachStringCallFillsItsOwnFieldOfItsOwnFamily) {
  auto html = utf16("<p>x</p>");
  auto headers = utf16("X-A: 1");
  auto billing = utf16("bill");
  auto mileage = utf16("12 km");
  auto body = utf16("plain");
  ASSERT_EQ(Bind_body(wa(body)), 0);
  ASSERT_EQ(Bind_html_body(wa(html)), 0);
  ASSERT_EQ(Bind_message_headers(wa(headers)), 0);
  ASSERT_EQ(Bind_billing_information(wa(billing)), 0);
  ASSERT_EQ(Bind_mileage(wa(mileage)), 0);
  ASSERT_EQ(Bind_rtf_body("e1xydGYxfQ=="), 0);
  EXPECT_EQ(*state.wide.plain_body, body);
  EXPECT_EQ(*state.wide.html_body, html);
  EXPECT_EQ(*state.wide.transport_headers, headers);
  EXPECT_EQ(*state.wide.billing_information, billing);
  EXPECT_EQ(*state.wide.mileage, mileage);
  EXPECT_EQ(*state.wide.rtf_body, "e1xydGYxfQ==");
  EXPECT_EQ(state.wide.rtf_is_base64, 1);
  // The narrow record is untouched.
  EXPECT_FALSE(state.narrow.plain_body);
  EXPECT_FALSE(state.narrow.rtf_body);
  EXPECT_EQ(state.narrow.rtf_is_base64, 0);

  ASSERT_EQ(Bind_rtf_bodyA("e30="), 0);
  EXPECT_EQ(*state.narrow.rtf_body, "e30=");
  EXPECT_EQ(state.narrow.rtf_is_base64, 1);
}

TEST_F(Binding, ValueCallsStoreTheirValuesUnchecked) {
  ASSERT_EQ(Bind_codepage(1251), 0);
  ASSERT_EQ(Bind_importanceA(2), 0);
  ASSERT_EQ(Bind_flags(0x13), 0);
  ASSERT_EQ(Bind_priority(-1), 0);
  ASSERT_EQ(Bind_sensitivityA(3), 0);
  EXPECT_EQ(state.wide.code_page, 1251u);
  EXPECT_EQ(state.narrow.importance, 2u);
  EXPECT_EQ(state.wide.message_flags, 0x13u);  // the item clears bit 0x10 itself
  EXPECT_EQ(state.wide.priority, -1);
  EXPECT_EQ(state.narrow.sensitivity, 3u);
  EXPECT_EQ(state.narrow.code_page, platform::file_code_page());
}

TEST_F(Binding, WidePlainTimeCallsIgnoreTheMarkerValueNarrowOnesStoreIt) {
  ASSERT_EQ(Bind_creation_time(0x89ABCDEF, 0x01D2A3B4), 0);
  ASSERT_EQ(Bind_creation_time(0x2A2A2A2A, 0x2A2A2A2A), 0);
  EXPECT_EQ(state.wide.creation_time, 0x01D2A3B489ABCDEFull);

  // Only both halves together are the marker.
  ASSERT_EQ(Bind_delivery_time(0x2A2A2A2A, 0), 0);
  EXPECT_EQ(state.wide.delivery_time, 0x2A2A2A2Aull);

  ASSERT_EQ(Bind_creation_timeA(1, 2), 0);
  ASSERT_EQ(Bind_creation_timeA(0x2A2A2A2A, 0x2A2A2A2A), 0);
  EXPECT_EQ(state.narrow.creation_time, 0x2A2A2A2A2A2A2A2Aull);
}

TEST_F(Binding, EachTimeCallFillsItsOwnField) {
  ASSERT_EQ(Bind_creation_time(1, 0), 0);
  ASSERT_EQ(Bind_last_modified_time(2, 0), 0);
  ASSERT_EQ(Bind_client_submit_time(3, 0), 0);
  ASSERT_EQ(Bind_delivery_time(4, 0), 0);
  ASSERT_EQ(Bind_last_modified_timeA(5, 0), 0);
  ASSERT_EQ(Bind_client_submit_timeA(6, 0), 0);
  ASSERT_EQ(Bind_delivery_timeA(7, 0), 0);
  EXPECT_EQ(state.wide.creation_time, 1u);
  EXPECT_EQ(state.wide.last_modification_time, 2u);
  EXPECT_EQ(state.wide.client_submit_time, 3u);
  EXPECT_EQ(state.wide.delivery_time, 4u);
  EXPECT_EQ(state.narrow.last_modification_time, 5u);
  EXPECT_EQ(state.narrow.client_submit_time, 6u);
  EXPECT_EQ(state.narrow.delivery_time, 7u);
}

TEST_F(Binding, SystemTimeCallsConvertAsUtcAndKeepTheFieldOnAnInvalidTime) {
  vendrel_systemtime epoch{1970, 1, 4, 1, 0, 0, 0, 0};
  ASSERT_EQ(Bind_creation_time_s(epoch), 0);
  EXPECT_EQ(state.wide.creation_time, 116444736000000000ull);

  vendrel_systemtime leap{2024, 2, 0, 29, 12, 30, 15, 250};
  ASSERT_EQ(Bind_delivery_time_sA(leap), 0);
  // 2024-02-29 12:30:15.250 UTC
  EXPECT_EQ(state.narrow.delivery_time, 116444736000000000ull + (1709209815ull * 1000 + 250) * 10000);

  vendrel_systemtime invalid{2023, 2, 0, 29, 0, 0, 0, 0};
  EXPECT_EQ(Bind_creation_time_s(invalid), 0);
  EXPECT_EQ(state.wide.creation_time, 116444736000000000ull);
  vendrel_systemtime month13{2023, 13, 0, 1, 0, 0, 0, 0};
  EXPECT_EQ(Bind_last_modified_time_s(month13), 0);
  EXPECT_EQ(state.wide.last_modification_time, 0u);
}

TEST_F(Binding, RecipientsNeedAtLeastOneString) {
  EXPECT_EQ(Bind_recipient(nullptr, nullptr, nullptr, 1, 0), 0);
  EXPECT_TRUE(state.wide_recipients.empty());

  auto name = utf16("Bob");
  ASSERT_EQ(Bind_recipient(nullptr, wa(name), nullptr, 2, 0x11), 0);
  ASSERT_EQ(Bind_recipientA("a@b.c", nullptr, "SMTP", 3, 0), 0);
  ASSERT_EQ(state.wide_recipients.size(), 1u);
  const auto& r = state.wide_recipients[0];
  EXPECT_FALSE(r.email);
  EXPECT_EQ(*r.display_name, name);
  EXPECT_FALSE(r.address_type);
  EXPECT_EQ(r.recipient_type, 2u);
  EXPECT_EQ(r.recipient_flags, 0x11u);
  ASSERT_EQ(state.narrow_recipients.size(), 1u);
  EXPECT_EQ(*state.narrow_recipients[0].email, "a@b.c");
  EXPECT_EQ(state.narrow_recipients[0].recipient_type, 3u);
}

TEST_F(Binding, AttachmentsAreCopiedWithTheirOptionalStrings) {
  std::vector<uint8_t> bytes(300);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  ASSERT_EQ(Bind_attach(bytes.data(), 300, "data.bin", "cid1", "application/octet-stream", nullptr, 1, 1), 0);
  bytes[0] = 0xFF;  // the caller's buffer is never kept
  ASSERT_EQ(Bind_attach(nullptr, 0, "empty.txt", nullptr, nullptr, nullptr, 0, 0), 0);
  ASSERT_EQ(state.attachments.size(), 2u);
  const auto& a = state.attachments[0];
  EXPECT_EQ(a.size, 300);
  EXPECT_EQ(a.data.size(), 300u);
  EXPECT_EQ(a.data[0], 0);
  EXPECT_EQ(a.data[299], static_cast<uint8_t>(299 * 7));
  EXPECT_EQ(a.name, "data.bin");
  EXPECT_EQ(*a.content_id, "cid1");
  EXPECT_EQ(*a.mime_type, "application/octet-stream");
  EXPECT_FALSE(a.content_location);
  EXPECT_EQ(a.by_value, 1);
  EXPECT_EQ(a.second_flag, 1);
  EXPECT_EQ(state.attachments[1].size, 0);
  EXPECT_EQ(state.attachments[1].by_value, 0);
}

TEST_F(Binding, BadAttachmentsAreRefusedAndBindNothing) {
  uint8_t byte = 1;
  EXPECT_EQ(Bind_attach(nullptr, 10, "x", nullptr, nullptr, nullptr, 1, 0), -2);
  EXPECT_EQ(Bind_attach(&byte, -1, "x", nullptr, nullptr, nullptr, 1, 0), -2);
  EXPECT_EQ(Bind_attach(&byte, 1, nullptr, nullptr, nullptr, nullptr, 1, 0), -2);
  EXPECT_TRUE(state.attachments.empty());
  EXPECT_EQ(Bind_attach(&byte, 1, "ok", nullptr, nullptr, nullptr, 1, 0), 0);
  EXPECT_EQ(state.attachments.size(), 1u);
}

TEST_F(Binding, TaggedPropertiesKeepEveryBindingInOrder) {
  uint32_t first = 1, second = 2;
  ASSERT_EQ(BindTaggedProp(0x00170003, &first, 4), 0);
  ASSERT_EQ(BindTaggedProp(0x00170003, &second, 4), 0);
  ASSERT_EQ(state.tagged_props.size(), 2u);
  EXPECT_EQ(state.tagged_props[1].property_id, 0x0017);
  EXPECT_EQ(state.tagged_props[1].property_type, 0x0003);
  uint32_t stored;
  std::memcpy(&stored, state.tagged_props[1].data.data(), 4);
  EXPECT_EQ(stored, 2u);  // applied in order, so the second value wins on the item
}

TEST_F(Binding, NarrowTaggedCallRecordsUtf16StringsAsEightBitOnes) {
  const char value[] = "abc";
  ASSERT_EQ(BindTaggedPropA(0x0037001F, value, 3), 0);  // 8-bit now: an odd length is fine
  ASSERT_EQ(BindTaggedPropA(0x00370102, value, 3), 0);
  ASSERT_EQ(BindTaggedProp(0x0037001F, value, 2), 0);
  ASSERT_EQ(state.tagged_props.size(), 3u);
  EXPECT_EQ(state.tagged_props[0].property_type, 0x001E);
  EXPECT_EQ(state.tagged_props[0].property_id, 0x0037);
  EXPECT_EQ(state.tagged_props[0].data, (std::vector<uint8_t>{'a', 'b', 'c'}));
  EXPECT_EQ(state.tagged_props[1].property_type, 0x0102);
  EXPECT_EQ(state.tagged_props[2].property_type, 0x001F);
}

TEST_F(Binding, TaggedPropertyWithNullDataIsRefusedUnlessEmpty) {
  EXPECT_EQ(BindTaggedProp(0x00370102, nullptr, 4), -2);
  EXPECT_EQ(BindTaggedProp(0x00370102, nullptr, 0), 0);
  ASSERT_EQ(state.tagged_props.size(), 1u);
  EXPECT_TRUE(state.tagged_props[0].data.empty());
}

struct LiteralCase {
  const char* text;
  std::optional<uint32_t> tag;
};

TEST(LiteralTag, LettersPrefixAndIds) {
  const LiteralCase cases[] = {
      {"L3FDE", 0x3FDE0003}, {"N1013", 0x10130102}, {"MS0037", 0x0037001E}, {"B0E1B", 0x0E1B000B},
      {"I0017", 0x00170002}, {"Q0E08", 0x0E080014}, {"T0039", 0x00390040}, {"S1a", 0x001A001E},
      {"L12345", 0x23450003},  // truncated to 16 bits
      {"X0037", std::nullopt}, {"A0037", std::nullopt}, {"U0037", std::nullopt}, {"MX0037", std::nullopt},
      {"MM0037", std::nullopt}, {"C0037", std::nullopt}, {"", std::nullopt}, {"M", std::nullopt},
      {"L", std::nullopt}, {"LZZ", std::nullopt}, {"l3FDE", std::nullopt},
      {"N10zz", std::nullopt}, {"L3FDE ", std::nullopt}, {"S37\n", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(parse_literal_tag(c.text), c.tag) << c.text;
}

TEST_F(Binding, LiteralPropertyBindsValidTextAndRefusesTheRest) {
  const char value[] = "subject";
  EXPECT_EQ(BindLiteralProp("X0037", value, 7), -1);
  EXPECT_EQ(BindLiteralProp(nullptr, value, 7), -2);
  EXPECT_TRUE(state.tagged_props.empty());
  ASSERT_EQ(BindLiteralProp("MS0037", value, 7), 0);
  ASSERT_EQ(state.tagged_props.size(), 1u);
  EXPECT_EQ(state.tagged_props[0].property_id, 0x0037);
  EXPECT_EQ(state.tagged_props[0].property_type, 0x001E);
  EXPECT_EQ(state.tagged_props[0].size(), 7u);
}

TEST_F(Binding, SenderIsBuiltIntoItsFamilysRecord) {
  auto email = utf16("a@b.c");
  ASSERT_EQ(Bind_sender(wa(email), nullptr, nullptr), 0);
  EXPECT_EQ(state.wide.sender.display_name(), email);
  EXPECT_EQ(state.wide.sender.search_key(), u"SMTP:a@b.c");
  EXPECT_TRUE(state.narrow.sender.empty());
  ASSERT_EQ(Bind_senderA("x@y.z", "X", "EX"), 0);
  EXPECT_EQ(state.narrow.sender.search_key(), "EX:x@y.z");
}

class Clearing : public Binding {
 protected:
  void bind_everything() {
    auto text = utf16("text");
    Bind_codepage(1251);
    Bind_codepageA(932);
    Bind_subj(wa(text), 0);
    Bind_body(wa(text));
    Bind_html_body(wa(text));
    Bind_rtf_body("e30=");
    Bind_message_headers(wa(text));
    Bind_billing_information(wa(text));
    Bind_mileage(wa(text));
    Bind_importance(2);
    Bind_flags(1);
    Bind_priority(1);
    Bind_sensitivity(2);
    Bind_creation_time(10, 0);
    Bind_last_modified_time(11, 0);
    Bind_client_submit_time(12, 0);
    Bind_delivery_time(13, 0);
    Bind_sender(wa(text), nullptr, nullptr);
    Bind_subjA("narrow", 0);
    Bind_bodyA("narrow");
    Bind_creation_timeA(20, 0);
    Bind_senderA("n@x.y", nullptr, nullptr);
    Bind_recipient(wa(text), nullptr, nullptr, 1, 0);
    Bind_recipientA("n@x.y", nullptr, nullptr, 1, 0);
    uint8_t b = 0;
    Bind_attach(&b, 1, "one.txt", nullptr, nullptr, nullptr, 1, 0);
    Bind_attach(&b, 1, "two.bin", nullptr, nullptr, nullptr, 0, 0);
    const uint32_t importance = 0;
    BindTaggedProp(0x00170003, &importance, 4);
  }
  test::TempDir dir;
};

TEST_F(Clearing, WideClearResetsFieldsAndListsAndKeepsTimesSenderAndRtfFlag) {
  bind_everything();
  ASSERT_EQ(BClear(), 0);
  const auto& f = state.wide;
  EXPECT_FALSE(f.subject);
  EXPECT_FALSE(f.plain_body);
  EXPECT_FALSE(f.html_body);
  EXPECT_FALSE(f.rtf_body);
  EXPECT_FALSE(f.transport_headers);
  EXPECT_FALSE(f.billing_information);
  EXPECT_FALSE(f.mileage);
  EXPECT_EQ(f.code_page, platform::host_code_page());
  EXPECT_EQ(f.importance, 1u);
  EXPECT_EQ(f.message_flags, 8u);
  EXPECT_EQ(f.priority, 0);
  EXPECT_EQ(f.sensitivity, 0u);
  EXPECT_TRUE(state.attachments.empty());
  EXPECT_TRUE(state.tagged_props.empty());
  EXPECT_TRUE(state.wide_recipients.empty());
  // Left alone:
  EXPECT_EQ(f.rtf_is_base64, 1);
  EXPECT_EQ(f.creation_time, 10u);
  EXPECT_EQ(f.last_modification_time, 11u);
  EXPECT_EQ(f.client_submit_time, 12u);
  EXPECT_EQ(f.delivery_time, 13u);
  EXPECT_FALSE(f.sender.empty());
  // The narrow family is not touched by the wide clear.
  EXPECT_EQ(*state.narrow.subject, std::string("\x01\x01narrow"));
  EXPECT_EQ(state.narrow.code_page, 932u);
  EXPECT_EQ(state.narrow_recipients.size(), 1u);
}

TEST_F(Clearing, NarrowClearEmptiesTheNarrowRecordAndTheSharedLists) {
  bind_everything();
  ASSERT_EQ(BClearA(), 0);
  EXPECT_FALSE(state.narrow.subject);
  EXPECT_FALSE(state.narrow.plain_body);
  EXPECT_EQ(state.narrow.code_page, platform::file_code_page());
  EXPECT_TRUE(state.narrow_recipients.empty());
  EXPECT_TRUE(state.attachments.empty());
  EXPECT_TRUE(state.tagged_props.empty());
  EXPECT_EQ(state.narrow.creation_time, 20u);
  EXPECT_FALSE(state.narrow.sender.empty());
  // The wide record and list stay.
  EXPECT_TRUE(state.wide.subject);
  EXPECT_EQ(state.wide_recipients.size(), 1u);
}

TEST_F(Clearing, WideClearLogsTheListsItEmptiesNarrowClearLogsNothing) {
  auto log_path = dir / "binding.log";
  logger().open(log_path.string(), true);
  bind_everything();
  ASSERT_EQ(BClear(), 0);
  bind_everything();
  ASSERT_EQ(BClearA(), 0);
  logger().close();

  std::string text = test::read_file_text(log_path);
  std::string expected_lines =
      "[PST] delete attaches\n"
      "[PST] deleting attach [one.txt]\n"
      "[PST] deleting attach [two.bin]\n"
      "[PST] delete binded props\n"
      "[PST] delete recipients\n";
  // Time stamp lines may stand between them; take them out.
  std::string without_stamps;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find('\n', pos);
    std::string line = text.substr(pos, end - pos + 1);
    if (!(line.size() == 11 && line[0] == '[' && line[3] == ':' && line[6] == ':')) without_stamps += line;
    pos = end + 1;
  }
  EXPECT_EQ(without_stamps, expected_lines);
}

}  // namespace
}  // namespace vendrel
