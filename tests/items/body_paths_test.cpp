// The three body paths on real messages of both file variants: which path a
// record takes, the properties each path writes and removes, the plain body
// given or derived, the code pages of derived texts, and what the committed
// file holds.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/crc32.h"
#include "items/message_body.h"
#include "items_test_support.h"
#include "platform/platform.h"

namespace vendrel::test {
namespace {

using namespace msg;

const uint16_t rtf_ids[] = {id_rtf_compressed,      id_rtf_in_sync,           id_rtf_sync_body_count,
                            id_rtf_sync_body_crc,   id_rtf_sync_prefix_count, id_rtf_sync_trailing_count};

std::string base64(std::string_view bytes) {
  static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 2]);
    out += alphabet[(group >> 18) & 63];
    out += alphabet[(group >> 12) & 63];
    out += i + 1 < bytes.size() ? alphabet[(group >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? alphabet[group & 63] : '=';
  }
  return out;
}

template <typename V>
class BodyPaths : public items_test {
 protected:
  using C = typename V::chartype;
  using B = typename V::bidtype;

  std::filesystem::path path() const { return this->dir / "bodies.pst"; }
  ref<message_of<V>> message() {
    if (!store_) {
      store_ = new_store<V>(path());
      inbox_ = ref<pst_folder>(store_->ipm_subtree()->create_subfolder(text<C>("Inbox").c_str(), nullptr, nullptr));
    }
    return new_message<V>(*store_);
  }
  // Files the message and commits the store; the file is then read back.
  decoded_pc committed(message_of<V>& m) {
    inbox_->add_message(&m);
    const uint32_t nid = m.item_nid();
    store_->commit();
    inbox_.reset();
    store_.reset();
    stored_file<B> file(path());
    return written_message<V>(file, nid).pc();
  }
  ref<typename V::store> store_;
  ref<pst_folder> inbox_;
};
TYPED_TEST_SUITE(BodyPaths, store_variants, store_variant_name);

// A string property as the characters it stands for: UTF-16 as it is, 8-bit
// in the file's code page (the form an ANSI file's property set stores).
std::u16string chars_of(const pst_property_value* v) {
  if (!v) return u"<absent>";
  if (v->type() == prop_type::unicode) return v->as_unicode();
  return platform::multibyte_to_wide(platform::file_code_page(), v->as_string8());
}

// What a file keeps of a wide text: all of it in a Unicode file; in an ANSI
// file what the file's code page can hold ('?' for the rest).
std::u16string as_stored(bool unicode, const std::u16string& text) {
  if (unicode) return text;
  const uint32_t file = platform::file_code_page();
  return platform::multibyte_to_wide(file, platform::wide_to_multibyte(file, text));
}

std::vector<uint8_t> bytes_of(const pst_property_value* v) {
  if (!v || !v->data()) return {};
  return std::vector<uint8_t>(v->data(), v->data() + v->size());
}

template <typename M>
void expect_no_rtf(const M& m) {
  for (uint16_t id : rtf_ids) EXPECT_EQ(m.get_property(id), nullptr) << std::hex << id;
}

TYPED_TEST(BodyPaths, ARecordWithoutAnyBodyGetsAnEmptyPlainBodyOnly) {
  auto wide = this->message();
  auto narrow = this->message();
  wide->apply_fields(pst_message_fields<char16_t>{});
  narrow->apply_fieldsA(pst_message_fields<char>{});
  for (auto* m : {wide.get(), narrow.get()}) {
    ASSERT_NE(m->get_property(id_body), nullptr);
    EXPECT_EQ(m->get_property(id_body)->size(), 0u);
    EXPECT_EQ(m->get_property(id_body_html), nullptr);
    expect_no_rtf(*m);
  }
}

TYPED_TEST(BodyPaths, RtfWithPlainTextStoresBothAndLogsNothing) {
  log_capture log(this->dir / "rtf.log");
  const std::string rtf = R"({\rtf1\ansi Rich\par text})";
  auto m = this->message();
  pst_message_fields<char16_t> f;
  const std::string rtf64 = base64(rtf);  // the record holds views
  f.rtf_body = rtf64;
  f.rtf_is_base64 = true;
  const std::u16string plain = u"Given text \u00e9";
  f.plain_body = plain;
  f.html_body = std::u16string_view(u"<B>ignored");
  m->apply_fields(f);
  EXPECT_EQ(chars_of(m->get_property(id_body)), plain);
  EXPECT_EQ(m->get_property(id_body_html), nullptr);
  const std::vector<uint8_t> container = bytes_of(m->get_property(id_rtf_compressed));
  ASSERT_EQ(container.size(), rtf.size() + 16);
  EXPECT_EQ(std::string(container.begin() + 16, container.end()), rtf);
  EXPECT_EQ(m->get_property(id_rtf_in_sync)->tag(), 0x0E1F000Bu);
  EXPECT_EQ(m->get_property(id_rtf_in_sync)->as_u64(), 1u);
  EXPECT_EQ(m->get_property(id_rtf_sync_body_crc)->tag(), 0x10060003u);
  EXPECT_EQ(m->get_property(id_rtf_sync_body_crc)->as_u64(), crc32(rtf.data(), rtf.size()));
  for (uint16_t id : {id_rtf_sync_body_count, id_rtf_sync_prefix_count, id_rtf_sync_trailing_count}) {
    ASSERT_NE(m->get_property(id), nullptr);
    EXPECT_EQ(m->get_property(id)->as_u64(), 0u);
    EXPECT_EQ(m->get_property(id)->type(), prop_type::i4);
  }
  EXPECT_FALSE(log.has("rtf body"));
}

struct rtf_text_case {
  const char* rtf;
  const char* text;
};

TYPED_TEST(BodyPaths, RtfWithoutPlainTextDerivesItFromTheDecodedRtf) {
  const rtf_text_case cases[] = {
      {R"({\rtf1 Hello\par World})", "Hello\nWorld"},
      {R"({\*\unknownword skipped}visible)", "visible"},
      {R"({\rtf1{\fonttbl{\f0\fswiss Arial;}}Text})", "Text"},
      {R"({\rtf1 unbalanced)", "unbalanced"},  // the reader's error keeps its text
      {"", ""},
  };
  for (const rtf_text_case& c : cases) {
    for (bool is_base64 : {false, true}) {
      SCOPED_TRACE(std::string(c.rtf) + (is_base64 ? " (Base64)" : ""));
      log_capture log(this->dir / "derive.log");
      auto narrow = this->message();
      auto wide = this->message();
      const std::string bound = is_base64 ? base64(c.rtf) : std::string(c.rtf);
      pst_message_fields<char> nf;
      nf.rtf_body = bound;
      nf.rtf_is_base64 = is_base64;
      nf.code_page = 1252;
      narrow->apply_fieldsA(nf);
      pst_message_fields<char16_t> wf;
      wf.rtf_body = bound;
      wf.rtf_is_base64 = is_base64;
      wf.code_page = 1252;
      wide->apply_fields(wf);
      for (auto* m : {narrow.get(), wide.get()}) {
        EXPECT_EQ(to_utf8(chars_of(m->get_property(id_body))), c.text);
        const std::vector<uint8_t> container = bytes_of(m->get_property(id_rtf_compressed));
        ASSERT_GE(container.size(), 16u);
        EXPECT_EQ(std::string(container.begin() + 16, container.end()), c.rtf);
      }
      EXPECT_TRUE(log.has("[PST] rtf body - no plain body"));
    }
  }
}

TYPED_TEST(BodyPaths, TextDerivedFromRtfKeepsItsCharacters) {
  // "\'e9" is the byte 0xE9: an e acute in code page 1252, a Cyrillic
  // small letter shcha in 1251 (the document's own code page wins).
  struct code_page_case {
    const char* rtf;
    uint32_t bound;
    std::u16string wide_text;
  };
  const code_page_case cases[] = {
      {R"({\rtf1\ansi caf\'e9})", 1252, u"caf\u00e9"},
      {R"({\rtf1\ansi\ansicpg1251 \'cf\'f0\'e8\'e2\'e5\'f2})", 1252, u"\u041f\u0440\u0438\u0432\u0435\u0442"},
      {R"({\rtf1\ansi\ansicpg1252 caf\'e9})", 1251, u"caf\u00e9"},
  };
  for (const code_page_case& c : cases) {
    SCOPED_TRACE(c.rtf);
    auto wide = this->message();
    pst_message_fields<char16_t> f;
    f.rtf_body = std::string_view(c.rtf);
    f.code_page = c.bound;
    wide->apply_fields(f);
    EXPECT_EQ(chars_of(wide->get_property(id_body)), as_stored(TypeParam::unicode, c.wide_text));
  }
  // A narrow record's derived text is the same characters, in the file's code page.
  auto narrow = this->message();
  pst_message_fields<char> f;
  f.rtf_body = std::string_view(R"({\rtf1\ansi caf\'e9})");
  f.code_page = 1252;
  narrow->apply_fieldsA(f);
  const pst_property_value* body = narrow->get_property(id_body);
  EXPECT_EQ(chars_of(body), as_stored(TypeParam::unicode, u"caf\u00e9"));
}

struct html_case {
  const char* html;
  const char* text;
};

TYPED_TEST(BodyPaths, HtmlWithoutPlainTextIsConverted) {
  const html_case cases[] = {
      {"<p>one<BR>two</p>", "\r\n\r\none\r\ntwo"},
      {"<TD>one two</TD> three", "one twothree"},
      {"<B>&amp;&copy;</B>", "&[Copyright]"},
      {"Hello world", ""},
      {"", ""},
      {"<B>x<", "x"},
  };
  for (const html_case& c : cases) {
    SCOPED_TRACE(c.html);
    auto narrow = this->message();
    auto wide = this->message();
    pst_message_fields<char> nf;
    nf.html_body = std::string_view(c.html);
    narrow->apply_fieldsA(nf);
    const std::u16string html16 = utf16(c.html);
    pst_message_fields<char16_t> wf;
    wf.html_body = html16;
    wide->apply_fields(wf);
    for (auto* m : {narrow.get(), wide.get()}) {
      EXPECT_EQ(to_utf8(chars_of(m->get_property(id_body))), c.text);
      EXPECT_EQ(to_utf8(chars_of(m->get_property(id_body_html))), c.html);
      expect_no_rtf(*m);
    }
  }
}

TYPED_TEST(BodyPaths, HtmlWithPlainTextKeepsTheGivenText) {
  auto m = this->message();
  pst_message_fields<char16_t> f;
  f.html_body = std::u16string_view(u"<B>html text");
  f.plain_body = std::u16string_view(u"plain text");
  m->apply_fields(f);
  EXPECT_EQ(chars_of(m->get_property(id_body)), u"plain text");
  EXPECT_EQ(chars_of(m->get_property(id_body_html)), u"<B>html text");
}

TYPED_TEST(BodyPaths, WideHtmlTextReachesThePropertyAsTheSameCharacters) {
  struct wide_case {
    std::u16string html;
    uint32_t code_page;
    std::u16string text;
  };
  const std::u16string privet = u"\u041f\u0440\u0438\u0432\u0435\u0442 \u043c\u0438\u0440";
  const wide_case cases[] = {
      {u"<B>" + privet, 1251, privet},                   // Cyrillic in its code page
      {u"<B>" + privet, 1252, privet},                   // not in the bound code page
      {u"<B>caf\u00e9 &amp; th\u00e9", 1252, u"caf\u00e9 & th\u00e9"},
      {u"<B>\u65e5\u672c\u8a9e<BR>\u6587", 932, u"\u65e5\u672c\u8a9e\r\n\u6587"},
      {u"<B>\u65e5\u672c", 0, u"\u65e5\u672c"},
  };
  for (const wide_case& c : cases) {
    SCOPED_TRACE(c.code_page);
    auto m = this->message();
    pst_message_fields<char16_t> f;
    f.html_body = c.html;
    f.code_page = c.code_page;
    m->apply_fields(f);
    EXPECT_EQ(chars_of(m->get_property(id_body)), as_stored(TypeParam::unicode, c.text));
  }
}

TYPED_TEST(BodyPaths, EachPathRemovesTheOthersProperties) {
  auto m = this->message();
  pst_message_fields<char> rtf;
  rtf.rtf_body = std::string_view(R"({\rtf1 r})");
  pst_message_fields<char> html;
  html.html_body = std::string_view("<B>h");
  pst_message_fields<char> plain;
  plain.plain_body = std::string_view("p");

  m->apply_fieldsA(html);
  m->apply_fieldsA(rtf);
  EXPECT_EQ(m->get_property(id_body_html), nullptr);
  for (uint16_t id : rtf_ids) EXPECT_NE(m->get_property(id), nullptr);
  EXPECT_EQ(to_utf8(chars_of(m->get_property(id_body))), "r");

  m->apply_fieldsA(html);
  expect_no_rtf(*m);
  EXPECT_EQ(to_utf8(chars_of(m->get_property(id_body))), "h");

  m->apply_fieldsA(rtf);
  m->apply_fieldsA(plain);
  expect_no_rtf(*m);
  EXPECT_EQ(m->get_property(id_body_html), nullptr);
  EXPECT_EQ(to_utf8(chars_of(m->get_property(id_body))), "p");

  m->apply_fieldsA(html);
  m->apply_fieldsA(pst_message_fields<char>{});
  EXPECT_EQ(m->get_property(id_body_html), nullptr);
  EXPECT_EQ(m->get_property(id_body)->size(), 0u);
}

TYPED_TEST(BodyPaths, TheCommittedFileHoldsTheRtfContainer) {
  std::string rtf = R"({\rtf1\ansi )", text;
  while (rtf.size() < 20000) {
    rtf += R"(line of text\par )";
    text += "line of text\n";
  }
  rtf += "}";
  auto m = this->message();
  pst_message_fields<char16_t> f;
  const std::string rtf64 = base64(rtf);  // the record holds views
  f.rtf_body = rtf64;
  f.rtf_is_base64 = true;
  m->apply_fields(f);
  decoded_pc pc = this->committed(*m);
  const decoded_property* container = pc.find(id_rtf_compressed);
  ASSERT_NE(container, nullptr);
  EXPECT_EQ(container->type, prop_type::binary);
  ASSERT_EQ(container->bytes.size(), rtf.size() + 16);
  const std::vector<uint8_t> expected = [&] {
    std::vector<uint8_t> v(16);
    const uint32_t fields[] = {static_cast<uint32_t>(rtf.size() + 12), static_cast<uint32_t>(rtf.size()),
                               0x414C454D, 0};  // no CRC in the uncompressed form
    for (size_t i = 0; i < 16; ++i) v[i] = static_cast<uint8_t>(fields[i / 4] >> (8 * (i % 4)));
    v.insert(v.end(), rtf.begin(), rtf.end());
    return v;
  }();
  EXPECT_TRUE(container->bytes == expected);
  EXPECT_EQ(number_of(pc.find(id_rtf_in_sync)), 1u);
  EXPECT_EQ(number_of(pc.find(id_rtf_sync_body_crc)), crc32(rtf.data(), rtf.size()));
  EXPECT_EQ(text_of(pc.find(id_body)), text);
  EXPECT_EQ(pc.find(id_body_html), nullptr);
}

}  // namespace
}  // namespace vendrel::test
