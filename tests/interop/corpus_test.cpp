// A corpus written through the shared library, once as a Unicode file
// through the wide calls and once as an ANSI file through the narrow ones,
// and read back by every independent reader: libpff (pypff and pffexport),
// libpst (readpst and lspst) and pst-extractor. Each reader's view is
// compared with what was bound, field by field:
//
// - a folder of every container class, nested folders and a folder name
//   beyond ASCII;
// - subjects around the 255-character cut (254, 255, 256 and 300
//   characters), beyond ASCII, with a surrogate pair, and with a character
//   of two code units (or beyond ASCII) straddling the cut;
// - plain, HTML, RTF and 5 MiB bodies;
// - senders, 500 recipients of all three types, importance, sensitivity,
//   message classes and the four times;
// - attachments of 0 B to 20 MiB (compared by SHA-256), an OLE attachment
//   and an embedded message that holds an attachment;
// - every property type bound by tag under named-property IDs, single and
//   multi-valued;
// - a contact, an appointment, a task and a sticky note with their fields.
//
// The narrow calls take the host's text (UTF-8 here); an ANSI file holds
// its 8-bit strings in code page 1252, so a reader of the ANSI file must
// show each text as code page 1252 holds it (a character it has no byte for
// becomes "?").
//
// Every file is also checked by the node-database walker. Set
// VENDREL_CORPUS_DIR to keep the files (and the readers' output) there.
// A reader that is not installed skips its test (CI installs them all).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "corpus_sha256.h"
#include "interop_support.h"
#include "ndb/walker.h"
#include "support/temp_dir.h"
#include "vendrel.h"

namespace {

using namespace vendrel::interop;

using vendrel::test::TempDir;
using vendrel::test::utf16;
using vendrel::test::utf8;

enum reader_id { pypff, pffexport, readpst, pst_extractor, reader_count };
constexpr unsigned by_pypff = 1, by_pffexport = 2, by_readpst = 4, by_pst_extractor = 8;
constexpr unsigned by_all = 15;
constexpr unsigned by_libpff = by_pypff | by_pffexport;

// ---------------------------------------------------------------- values

std::string pattern(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    bytes[i] = static_cast<char>(x >> 16);
  }
  return bytes;
}

// A long text is compared by its SHA-256 and size, as the scripts print it.
constexpr size_t long_text = 2000;
std::string text_value(const std::string& utf8_text) {
  if (utf8_text.size() <= long_text) return utf8_text;
  return "sha256:" + sha256_hex(utf8_text) + "|" + std::to_string(utf8_text.size());
}

std::string hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

// The characters of code page 1252's bytes 0x80 to 0x9F (0: no character).
const char16_t cp1252_high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// The byte of code page 1252 for a character, or -1.
int cp1252_byte(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<int>(c);
  for (int i = 0; i < 32; ++i)
    if (cp1252_high[i] && cp1252_high[i] == c) return 0x80 + i;
  return -1;
}
char32_t cp1252_char(unsigned char b) {
  if (b < 0x80 || b >= 0xA0 || !cp1252_high[b - 0x80]) return b;
  return cp1252_high[b - 0x80];
}

std::u32string code_points(const std::u16string& text) {
  std::u32string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    out += c;
  }
  return out;
}
std::string utf8_of(const std::u32string& text) {
  std::u16string units;
  for (char32_t c : text) {
    if (c >= 0x10000) {
      units += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(c);
    }
  }
  return utf8(units);
}

// The code-page-1252 bytes of a host text; "?" for a character without one.
std::string cp1252_bytes(const std::string& host_text) {
  std::string out;
  for (char32_t c : code_points(utf16(host_text))) {
    const int b = cp1252_byte(c);
    out += b < 0 ? '?' : static_cast<char>(b);
  }
  return out;
}

// ---------------------------------------------------------------- writing

// Writes one variant's corpus through the calls of its family and records
// what each reader must show, as lines "<path>\t<field>\t<value>". An item's
// path is its folder path, "/", and the first word of its subject; an
// embedded message adds " >/" and its own first word to the path of the
// message that holds it.
class corpus_writer {
 public:
  explicit corpus_writer(bool unicode) : unicode_(unicode) {}

  std::multiset<std::string> expected[reader_count];

  bool unicode() const { return unicode_; }

  // A host text as the readers show it: the text itself in a Unicode file,
  // the text as code page 1252 holds it in an ANSI file.
  std::string shown(const std::string& host_text) const {
    if (unicode_) return host_text;
    std::u32string out;
    for (unsigned char b : cp1252_bytes(host_text)) out += cp1252_char(b);
    return utf8_of(out);
  }

  void expect(unsigned who, const std::string& path, const std::string& field, const std::string& value) {
    for (int r = 0; r < reader_count; ++r)
      if (who & (1u << r)) expected[r].insert(path + "\t" + field + "\t" + escape(value));
  }

  // ------------------------------------------------------------ folders
  void folder(const std::string& parent, const std::string& name, const std::string& container_class) {
    const int32_t r = unicode_ ? CreateFolder(wide(parent), wide(name), wide(container_class))
                               : CreateFolderA(parent.c_str(), name.c_str(), container_class.c_str());
    ASSERT_EQ(r, 0) << name;
    current_ = (parent.empty() ? "" : shown(parent) + "/") + shown(name);
    // pffexport and readpst write a folder as a directory: its path is their view.
    expect(by_pypff | by_pst_extractor, current_, "folder_class", container_class);
    expect(by_readpst | by_pffexport, current_, "folder", "");
  }

  // ------------------------------------------------------------ binding
  void subject(const std::string& text) {
    if (unicode_) Bind_subj(wide(text), 0);
    else Bind_subjA(text.c_str(), 0);
  }
  void body(const std::string& text) {
    if (unicode_) Bind_body(wide(text));
    else Bind_bodyA(text.c_str());
  }
  void html(const std::string& text) {
    if (unicode_) Bind_html_body(wide(text));
    else Bind_html_bodyA(text.c_str());
  }
  void sender(const std::string& email, const std::string& name) {
    if (unicode_) Bind_sender(wide(email), wide(name), wide("SMTP"));
    else Bind_senderA(email.c_str(), name.c_str(), "SMTP");
  }
  void recipient(const std::string& email, const std::string& name, uint32_t kind) {
    if (unicode_) Bind_recipient(wide(email), wide(name), wide("SMTP"), kind, 1);
    else Bind_recipientA(email.c_str(), name.c_str(), "SMTP", kind, 1);
  }
  void times(int64_t base) {
    auto split = [](int64_t t, auto bind) {
      const uint64_t ft = filetime(t);
      bind(static_cast<uint32_t>(ft), static_cast<uint32_t>(ft >> 32));
    };
    if (unicode_) {
      split(base, Bind_delivery_time);
      split(base - 60, Bind_client_submit_time);
      split(base - 120, Bind_creation_time);
      split(base + 60, Bind_last_modified_time);
    } else {
      split(base, Bind_delivery_timeA);
      split(base - 60, Bind_client_submit_timeA);
      split(base - 120, Bind_creation_timeA);
      split(base + 60, Bind_last_modified_timeA);
    }
  }
  // Both calls fill the one list of tagged values; the narrow twin records
  // a UTF-16 string type as an 8-bit one and keeps the bytes as given, so a
  // UTF-16 value is bound through the wide call in both variants.
  void tagged(uint32_t tag, const std::string& bytes, bool narrow_call = false) {
    const int32_t r = narrow_call ? BindTaggedPropA(tag, bytes.data(), static_cast<uint32_t>(bytes.size()))
                                  : BindTaggedProp(tag, bytes.data(), static_cast<uint32_t>(bytes.size()));
    ASSERT_EQ(r, 0) << std::hex << tag;
  }

  // ------------------------------------------------------------ messages
  struct message {
    std::string subject;  // host text, without prefix
    std::string body;     // plain body; none when empty and no HTML
    std::string html;     // HTML body; none when empty
    std::string rtf;      // RTF body (bound Base64-encoded); none when empty
    std::string sender_name = "Sender", sender_email = "sender@example.org";
    struct rcpt {
      std::string name, email;
      uint32_t kind;
    };
    std::vector<rcpt> recipients;
    struct attach {
      std::string name;
      std::string bytes;
      bool ole = false;
    };
    std::vector<attach> attachments;
    std::vector<message> embedded;
    std::string message_class = "IPM.Note";
    uint32_t importance = 1, sensitivity = 0;
    int64_t time = 0;
    unsigned readers = by_all;  // the readers that show the message
  };

  // The first word of a subject: the key of its item in the readers' output.
  static std::string key(const std::string& subject) { return subject.substr(0, subject.find(' ')); }

  // The subject as the readers show it: the stored subject is the two
  // prefix code units and the text, cut to 257 code units on a character
  // boundary. The ANSI file's subjects come through the narrow calls, whose
  // text is the host's UTF-8: they are cut to 257 bytes of it, then stored in
  // code page 1252.
  std::string shown_subject(const std::string& text) const {
    if (unicode_) {
      std::u16string units = utf16(text);
      if (units.size() > 255) {
        size_t cut = 255;
        if (units[cut - 1] >= 0xD800 && units[cut - 1] < 0xDC00) --cut;
        units.resize(cut);
      }
      return utf8(units);
    }
    size_t cut = std::min<size_t>(text.size(), 255);
    if (cut < text.size())
      while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // inside a character
    std::u32string out;
    for (unsigned char b : cp1252_bytes(text.substr(0, cut))) out += cp1252_char(b);
    return utf8_of(out);
  }

  // Creates a message in the current folder.
  void create(message& m) { create(m, current_, false); }

  void create(message& m, const std::string& base, bool embedded) {
    const std::string path = base + (embedded ? " >/" : "/") + key(m.subject);
    for (message& inner : m.embedded) create(inner, path, true);
    if (::testing::Test::HasFatalFailure()) return;
    for (const auto& a : m.attachments)
      ASSERT_EQ(Bind_attach(a.bytes.data(), static_cast<int32_t>(a.bytes.size()), a.name.c_str(), nullptr, nullptr,
                            nullptr, a.ole ? 0 : 1, 0),
                0);
    subject(m.subject);
    if (!m.body.empty()) body(m.body);
    if (!m.html.empty()) html(m.html);
    if (!m.rtf.empty()) {
      const std::string encoded = base64(m.rtf);
      ASSERT_EQ(unicode_ ? Bind_rtf_body(encoded.c_str()) : Bind_rtf_bodyA(encoded.c_str()), 0);
    }
    sender(m.sender_email, m.sender_name);
    for (const auto& r : m.recipients) recipient(r.email, r.name, r.kind);
    if (unicode_) {
      Bind_importance(m.importance);
      Bind_sensitivity(m.sensitivity);
    } else {
      Bind_importanceA(m.importance);
      Bind_sensitivityA(m.sensitivity);
    }
    times(m.time);
    const int32_t r = unicode_ ? CreateMessage(wide(m.message_class), embedded, !m.embedded.empty())
                               : CreateMessageA(m.message_class.c_str(), embedded, !m.embedded.empty());
    ASSERT_EQ(r, 0) << m.subject;
    // pypff opens no embedded message (pypff 20180714, also in the mail
    // client's own files); the other readers do.
    expect_message(m, path, embedded ? m.readers & ~by_pypff : m.readers);
  }

  // What the readers in `readers` show of a message.
  void expect_message(const message& m, const std::string& path, unsigned readers) {
    auto expect = [&](unsigned who, const std::string& p, const std::string& field, const std::string& value) {
      this->expect(who & readers, p, field, value);
    };
    const std::string subject_shown = shown_subject(m.subject);
    expect(by_all, path, "subject", subject_shown);
    if (!m.body.empty()) {
      // pffexport writes a message's RTF body in place of its plain one,
      // and writes it empty (the RTF fault named below).
      expect(m.rtf.empty() ? by_libpff | by_pst_extractor : by_pypff | by_pst_extractor, path, "body",
             text_value(shown(m.body)));
      // readpst writes mail: text parts with LF line ends.
      std::string mail;
      for (char c : shown(m.body))
        if (c != '\r') mail += c;
      expect(by_readpst, path, "body", text_value(mail));
    }
    if (!m.html.empty()) {
      expect(by_pypff | by_pst_extractor, path, "html", text_value(shown(m.html)));
      std::string mail;
      for (char c : shown(m.html))
        if (c != '\r') mail += c;
      expect(by_readpst, path, "html", text_value(mail));
    }
    if (!m.rtf.empty()) {
      // The RTF in its uncompressed container. pypff's get_rtf_body and
      // readpst run their LZFu decompressor over any container and cannot
      // take this form apart (a reader fault): pypff's view is the RTF in
      // the container property as pypff reads it, readpst's the size of its
      // rtf-body.rtf attachment; pst-extractor decodes it. pffexport, with
      // the same decompressor, is left out.
      expect(by_pypff | by_pst_extractor, path, "rtf", text_value(m.rtf));
      expect(by_readpst, path, "rtf_size", std::to_string(m.rtf.size()));
    }
    expect(by_all, path, "sender_name", shown(m.sender_name));
    expect(by_all, path, "sender_email", m.sender_email);
    expect(by_pypff | by_pst_extractor, path, "class", m.message_class);
    const char* importance_names[] = {"Low", "Normal", "High"};
    const char* sensitivity_names[] = {"None", "Personal", "Private", "Confidential"};
    expect(by_pypff | by_pst_extractor, path, "importance", std::to_string(m.importance));
    expect(by_pypff | by_pst_extractor, path, "sensitivity", std::to_string(m.sensitivity));
    expect(by_pffexport, path, "importance", importance_names[m.importance]);
    expect(by_pffexport, path, "sensitivity", sensitivity_names[m.sensitivity]);
    expect(by_libpff | by_pst_extractor, path, "delivery_time", utc_text(m.time));
    expect(by_libpff | by_pst_extractor, path, "client_submit_time", utc_text(m.time - 60));
    expect(by_libpff | by_pst_extractor, path, "creation_time", utc_text(m.time - 120));
    expect(by_libpff | by_pst_extractor, path, "modification_time", utc_text(m.time + 60));
    std::string to, cc, bcc;
    for (const auto& r : m.recipients) {
      std::string& list = r.kind == 1 ? to : r.kind == 2 ? cc : bcc;
      if (!list.empty()) list += ";";
      list += shown(r.name);
      // pypff 20180714 has no call for the recipients.
      expect(by_pffexport | by_pst_extractor, path, "recipient",
             std::to_string(r.kind) + "|" + shown(r.name) + "|" + r.email + "|SMTP");
    }
    expect(by_pffexport | by_pst_extractor, path, "recipient_count", std::to_string(m.recipients.size()));
    expect(by_pst_extractor | by_pypff, path, "display_to", to);
    expect(by_pst_extractor | by_pypff, path, "display_cc", cc);
    expect(by_pst_extractor | by_pypff, path, "display_bcc", bcc);
    if (!m.recipients.empty()) {
      // readpst's To and Cc headers: the display lists, one name after another.
      expect(by_readpst, path, "display_to", to);
      if (!cc.empty()) expect(by_readpst, path, "display_cc", cc);
    }
    for (const auto& a : m.attachments) {
      const std::string digest = std::to_string(a.bytes.size()) + "|" + sha256_hex(a.bytes);
      if (a.ole) {
        // An OLE attachment: libpff reads the object's bytes, pffexport
        // names it by its kind; readpst writes it as a part without a name;
        // pst-extractor reads the object reference only, not the data.
        expect(by_pypff, path, "attachment", a.name + "|" + digest);
        expect(by_pffexport, path, "attachment", "Attachment.txt|" + digest);
        expect(by_readpst, path, "attachment", "|" + digest);
        continue;
      }
      // readpst leaves out an attachment without data.
      expect(a.bytes.empty() ? by_libpff | by_pst_extractor : by_all, path, "attachment", a.name + "|" + digest);
    }
    // pypff shows an embedded message's attachment by its name, the subject.
    for (const auto& e : m.embedded) expect(by_pypff, path, "embedded", shown_subject(e.subject));
  }

 private:
  bool unicode_;
  std::string current_;

 public:
  // ------------------------------------------------------------ tagged values
  struct typed_value {
    uint16_t type;
    std::string bytes;
    bool narrow_call = false;  // bound through BindTaggedPropA
  };
  template <typename T>
  static std::string bytes_of(const T& value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof value);
  }
  static std::string utf16_bytes(const std::string& host_text) {
    std::string out;
    for (char16_t c : utf16(host_text)) {
      out += static_cast<char>(c & 0xFF);
      out += static_cast<char>(c >> 8);
    }
    return out;
  }
  // A multi-valued variable-size value: count, offsets, then the items.
  static std::string multi_variable(const std::vector<std::string>& items) {
    std::string out = bytes_of(static_cast<uint32_t>(items.size()));
    uint32_t offset = static_cast<uint32_t>(4 + 4 * items.size());
    for (const auto& item : items) {
      out += bytes_of(offset);
      offset += static_cast<uint32_t>(item.size());
    }
    for (const auto& item : items) out += item;
    return out;
  }
  // Every property type, single and multi-valued.
  static std::vector<typed_value> typed_values() {
    const std::string g("\x10\x32\x54\x76\x98\xBA\xDC\xFE\x01\x02\x03\x04\x05\x06\x07\x08", 16);
    return {
        {0x0002, bytes_of(static_cast<int16_t>(-2))},
        {0x0003, bytes_of(static_cast<int32_t>(0x12345678))},
        {0x0004, bytes_of(1.25f)},
        {0x0005, bytes_of(2.5)},
        {0x0006, bytes_of(static_cast<int64_t>(123456789012))},
        {0x0007, bytes_of(45000.5)},
        {0x000A, bytes_of(static_cast<uint32_t>(0x80004005))},
        {0x000B, std::string(1, '\x01')},
        {0x0014, bytes_of(static_cast<int64_t>(0x0102030405060708))},
        {0x001E, "eight-bit text"},
        {0x001F, utf16_bytes("wide text: caf\xC3\xA9 \xE2\x82\xAC")},
        {0x001F, "eight-bit text through the narrow call", true},  // recorded as 0x001E
        {0x0040, bytes_of(filetime(1700000000))},
        {0x0048, g},
        {0x0102, pattern(40, 7)},
        {0x0102, pattern(9000, 8)},  // past one block of the heap
        {0x1002, bytes_of(int16_t{1}) + bytes_of(int16_t{-1}) + bytes_of(int16_t{300})},
        {0x1003, bytes_of(int32_t{7}) + bytes_of(int32_t{-7}) + bytes_of(int32_t{70000})},
        {0x1004, bytes_of(0.5f) + bytes_of(-8.0f)},
        {0x1005, bytes_of(1.5) + bytes_of(-3.25)},
        {0x1006, bytes_of(int64_t{10000}) + bytes_of(int64_t{-20000})},
        {0x1007, bytes_of(1.0) + bytes_of(40000.25)},
        {0x1014, bytes_of(int64_t{1} << 40) + bytes_of(int64_t{-5})},
        {0x1040, bytes_of(filetime(1600000000)) + bytes_of(filetime(1650000000))},
        {0x1048, g + g},
        {0x101E, multi_variable({"one", "two words"})},
        {0x101F, multi_variable({utf16_bytes("alpha"), utf16_bytes("\xCE\xB2\xCE\xB5\xCF\x84\xCE\xB1")})},
        {0x1102, multi_variable({pattern(5, 1), pattern(17, 2), ""})},
    };
  }

  // Binds every type under a named-property ID of its own and records what
  // the readers must list for the item at `path`.
  void bind_every_type(const std::string& path) {
    static const uint8_t guid[16] = {0xA1, 0xB2, 0xC3, 0xD4, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    const auto values = typed_values();
    for (size_t i = 0; i < values.size(); ++i) {
      const int32_t id = GetMapiTagForNP(0x7000 + static_cast<uint32_t>(i), guid, nullptr);
      ASSERT_GE(id, 0x8000);
      tagged((static_cast<uint32_t>(id) << 16) | values[i].type, values[i].bytes, values[i].narrow_call);
      // A single string is held in the file's own string type; the rest as given.
      uint16_t type = values[i].narrow_call && values[i].type == 0x001F ? 0x001E : values[i].type;
      std::string bytes = values[i].bytes;
      if (type == 0x001E && unicode_) {
        type = 0x001F;
        bytes = utf16_bytes(bytes);
      } else if (type == 0x001F && !unicode_) {
        type = 0x001E;
        std::u16string text;
        for (size_t k = 0; k + 1 < bytes.size(); k += 2)
          text += static_cast<char16_t>(static_cast<uint8_t>(bytes[k]) | static_cast<uint8_t>(bytes[k + 1]) << 8);
        bytes = cp1252_bytes(utf8(text));
      }
      char field[16], value[16];
      std::snprintf(field, sizeof field, "prop:%04X", static_cast<unsigned>(id));
      std::snprintf(value, sizeof value, "%04X|", type);
      expect(by_pypff | by_pst_extractor, path, field, value + hex(bytes));
    }
  }

  // A text property, bound as UTF-16 in both variants (an ANSI file holds
  // it in code page 1252); records the prop line pypff and pst-extractor show.
  void text_prop(const std::string& path, uint32_t id, const std::string& host_text) {
    tagged((id << 16) | 0x001F, utf16_bytes(host_text));
    expect(by_pypff | by_pst_extractor, path, prop_field(id),
           unicode_ ? "001F|" + hex(utf16_bytes(host_text)) : "001E|" + hex(cp1252_bytes(host_text)));
  }
  void number_prop(const std::string& path, uint32_t id, uint32_t value) {
    tagged((id << 16) | 0x0003, bytes_of(value));
    expect(by_pypff | by_pst_extractor, path, prop_field(id), "0003|" + hex(bytes_of(value)));
  }
  void flag_prop(const std::string& path, uint32_t id, bool value) {
    tagged((id << 16) | 0x000B, std::string(1, value ? '\x01' : '\x00'));
    expect(by_pypff | by_pst_extractor, path, prop_field(id), value ? "000B|01" : "000B|00");
  }
  void time_prop(const std::string& path, uint32_t id, int64_t unix_seconds) {
    tagged((id << 16) | 0x0040, bytes_of(filetime(unix_seconds)));
    expect(by_pypff | by_pst_extractor, path, prop_field(id), "0040|" + hex(bytes_of(filetime(unix_seconds))));
  }
  void real_prop(const std::string& path, uint32_t id, double value) {
    tagged((id << 16) | 0x0005, bytes_of(value));
    expect(by_pypff | by_pst_extractor, path, prop_field(id), "0005|" + hex(bytes_of(value)));
  }
  static std::string prop_field(uint32_t id) {
    char field[16];
    std::snprintf(field, sizeof field, "prop:%04X", id);
    return field;
  }

  std::string current() const { return current_; }
};

// ---------------------------------------------------------------- the corpus

const uint8_t psetid_common[16] = {0x08, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
const uint8_t psetid_address[16] = {0x04, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
const uint8_t psetid_appointment[16] = {0x02, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
const uint8_t psetid_task[16] = {0x03, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};

uint32_t named(const uint8_t* set, uint32_t lid) {
  const int32_t id = GetMapiTagForNP(lid, set, nullptr);
  EXPECT_GE(id, 0x8000) << std::hex << lid;
  return static_cast<uint32_t>(id);
}

constexpr int64_t review_start = 1718010000;  // 2024-06-10 09:00:00 UTC
constexpr int64_t review_end = review_start + 90 * 60;

// Texts beyond ASCII: all of the first line are in code page 1252, the
// second has characters it has no byte for.
const std::string latin = "Gr\xC3\xBC\xC3\x9F" "e caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x94 na\xC3\xAFve";
const std::string beyond = "\xE2\x9C\x93 \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E \xD0\x9F\xD1\x80\xD0\xB8";
const std::string smile = "\xF0\x9F\x98\x80";  // U+1F600, a surrogate pair in UTF-16

void write_messages(corpus_writer& w) {
  using message = corpus_writer::message;
  int64_t time = 1700000000;
  auto next = [&](message m) {
    m.time = time += 3600;
    return m;
  };

  w.folder("", "Inbox", "IPF.Note");
  if (::testing::Test::HasFatalFailure()) return;
  {
    message m = next({});
    m.subject = "F1 " + latin + " " + beyond;
    m.body = "Hello,\r\n" + latin + "\r\n" + beyond + "\r\nRegards";
    m.sender_name = "Ren\xC3\xA9 S\xC3\xA9nder";
    m.sender_email = "rene@example.org";
    m.recipients = {{"Ann \xC3\x85kesson", "ann@example.org", 1}, {"Bob Baker", "bob@example.org", 1},
                    {"Cy Carter", "cy@example.org", 2}, {"Dee Dunn", "dee@example.org", 3}};
    m.importance = 2;
    m.sensitivity = 2;
    w.create(m);
  }
  // Subjects around the cut: 254, 255, 256 and 300 characters; a pair of
  // code units straddling the cut; a character beyond ASCII at it.
  for (size_t length : {254, 255, 256, 300}) {
    message m = next({});
    m.subject = "L" + std::to_string(length) + " ";
    while (m.subject.size() < length) m.subject += static_cast<char>('a' + m.subject.size() % 26);
    m.body = "A subject of " + std::to_string(length) + " characters.";
    w.create(m);
  }
  {
    message m = next({});
    m.subject = "LSP ";
    while (m.subject.size() < 254) m.subject += 'x';
    m.subject += smile + "tail";  // the pair is characters 255 and 256
    m.body = "The cut falls between the two code units of a pair.";
    w.create(m);
  }
  {
    message m = next({});
    m.subject = "LNA ";
    while (m.subject.size() < 253) m.subject += 'y';
    for (int i = 0; i < 10; ++i) m.subject += "\xC3\xA9";  // characters 254 to 263
    m.body = "The cut falls in a run of characters beyond ASCII.";
    w.create(m);
  }
  {
    message m = next({});
    m.subject = "SP1 smile " + smile + " and " + latin;
    m.body = "A body with a pair: " + smile + ".";
    w.create(m);
  }
  {
    message m = next({});
    m.subject = "X1 custom class";
    m.body = "Of a class of its own.";
    m.message_class = "IPM.Note.Corpus";
    m.importance = 0;
    m.sensitivity = 3;
    w.create(m);
  }

  w.folder("Inbox", "Bodies", "IPF.Note");
  if (::testing::Test::HasFatalFailure()) return;
  {
    message m = next({});
    m.subject = "B1 plain body";
    m.body = "Plain text.\r\n" + latin + "\r\n" + beyond + "\r\n";
    w.create(m);
  }
  {
    message m = next({});
    m.subject = "B2 plain and HTML bodies";
    m.body = "The plain text of the HTML: " + latin;
    m.html = "<html><body><p><b>" + latin + "</b> &amp; " + beyond + "</p></body></html>";
    w.create(m);
  }
  {
    message m = next({});
    m.subject = "B3 five mebibytes";
    const std::string line = "Line of a long body: " + latin + " " + beyond + ".\r\n";
    while (m.body.size() < (size_t{5} << 20)) m.body += line;
    w.create(m);
  }

  {
    message m = next({});
    m.subject = "B4 plain and RTF bodies";
    m.body = "The plain text of the RTF: " + latin;
    m.rtf = R"({\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fswiss Arial;}}\pard\f0\fs20 Gr\'fc\'dfe caf\'e9 {\b bold}\par})";
    w.create(m);
  }

  w.folder("", "Sent Items", "IPF.Note");
  if (::testing::Test::HasFatalFailure()) return;
  {
    message m = next({});
    m.subject = "R500 five hundred recipients";
    m.body = "To, Cc and Bcc.";
    for (int i = 0; i < 500; ++i) {
      char number[8];
      std::snprintf(number, sizeof number, "%03d", i);
      m.recipients.push_back({(i % 7 == 0 ? "Empf\xC3\xA4nger " : "Recipient ") + std::string(number),
                              "r" + std::string(number) + "@example.org", static_cast<uint32_t>(1 + i % 3)});
    }
    w.create(m);
  }

  w.folder("", "Anh\xC3\xA4nge", "IPF.Note");
  if (::testing::Test::HasFatalFailure()) return;
  {
    message m = next({});
    m.subject = "A1 attachments of every size";
    m.body = "Six attachments.";
    uint32_t seed = 1;
    for (size_t size : {size_t{0}, size_t{1}, size_t{8176}, size_t{8177}, size_t{1} << 20, (size_t{1} << 20) + 1})
      m.attachments.push_back({"file-" + std::to_string(size) + ".bin", pattern(size, seed++)});
    w.create(m);
  }
  {
    message m = next({});
    m.subject = "A2 twenty mebibytes";
    m.body = "One large attachment.";
    m.attachments.push_back({"large.bin", pattern(size_t{20} << 20, 99)});
    w.create(m);
  }
  {
    message m = next({});
    m.subject = "A3 an OLE object";
    m.body = "An embedded object.";
    m.attachments.push_back({"Embedded object", pattern(5000, 42), true});
    w.create(m);
  }
  {
    message inner = next({});
    inner.subject = "E2 inner " + latin;
    inner.body = "The embedded message: " + latin;
    inner.sender_name = "Inner";
    inner.sender_email = "inner@example.org";
    inner.recipients = {{"Cy Carter", "cy@example.org", 1}};
    inner.attachments.push_back({"inner.txt", pattern(300, 7)});
    message m = next({});
    m.subject = "E1 holds a message";
    m.body = "An embedded message with an attachment.";
    m.embedded = {inner};
    m.attachments.push_back({"outer.txt", pattern(12, 8)});
    w.create(m);
  }

  w.folder("", "Properties", "IPF.Note");
  if (::testing::Test::HasFatalFailure()) return;
  {
    message m = next({});
    m.subject = "P1 every property type";
    m.body = "Every type bound by tag.";
    w.bind_every_type(w.current() + "/P1");
    if (::testing::Test::HasFatalFailure()) return;
    w.create(m);
  }

  w.folder("Archive", "2024", "IPF.Note");
  if (::testing::Test::HasFatalFailure()) return;
  {
    message m = next({});
    m.subject = "Z1 in a nested folder";
    m.body = "Two levels down.";
    w.create(m);
  }
}

// The four item kinds with their fields, bound as a host binds them.
void write_kinds(corpus_writer& w) {
  const bool u = w.unicode();
  w.folder("", "Contacts", "IPF.Contact");
  if (::testing::Test::HasFatalFailure()) return;
  std::string p = w.current() + "/C1";
  const std::string given = "Zo\xC3\xAB", surname = "\xC3\x85ngstr\xC3\xB6m", full = "C1 Zo\xC3\xAB \xC3\x85ngstr\xC3\xB6m";
  const std::string company = "Caf\xC3\xA9 M\xC3\xBCller", street = "12 Stra\xC3\x9F" "e";
  w.subject(full);
  w.text_prop(p, 0x3001, full);
  w.text_prop(p, 0x3A06, given);
  w.text_prop(p, 0x3A11, surname);
  w.text_prop(p, 0x3A16, company);
  w.text_prop(p, 0x3A17, "Countess");
  w.text_prop(p, 0x3A08, "+44 20 7946 0000");
  w.text_prop(p, 0x3A1C, "+44 7700 900123");
  w.text_prop(p, 0x3A5D, street);
  w.text_prop(p, 0x3A59, "M\xC3\xBCnchen");
  w.text_prop(p, 0x3A5B, "80331");
  w.text_prop(p, 0x3A5A, "Deutschland");
  w.text_prop(p, named(psetid_address, 0x8083), "zoe@example.org");
  w.text_prop(p, named(psetid_address, 0x8080), "Zo\xC3\xAB (work)");
  w.text_prop(p, named(psetid_address, 0x8082), "SMTP");
  w.text_prop(p, named(psetid_address, 0x801A), street + "\r\nM\xC3\xBCnchen 80331\r\nDeutschland");
  ASSERT_EQ(u ? CreateContact(0, 0) : CreateContactA(0, 0), 0);
  // readpst writes a contact as a vCard, an appointment as an event: their
  // FN and SUMMARY are the subjects.
  w.expect(by_all & ~by_readpst, p, "subject", w.shown(full));
  w.expect(by_pypff | by_pst_extractor, p, "class", "IPM.Contact");
  const std::string name_shown = w.shown(full);
  w.expect(by_readpst, p, "FN", name_shown);
  w.expect(by_readpst, p, "N", w.shown(surname) + ";" + w.shown(given) + ";;;");
  w.expect(by_readpst, p, "EMAIL", "zoe@example.org");
  w.expect(by_readpst, p, "TEL;TYPE=work,voice", "+44 20 7946 0000");
  w.expect(by_readpst, p, "TEL;TYPE=cell,voice", "+44 7700 900123");
  w.expect(by_readpst, p, "ORG", w.shown(company));
  w.expect(by_readpst, p, "TITLE", "Countess");
  w.expect(by_readpst, p, "ADR;TYPE=home", ";;" + w.shown(street) + ";" + w.shown("M\xC3\xBCnchen") + ";;80331;Deutschland");
  w.expect(by_pffexport, p, "Display name", name_shown);
  w.expect(by_pffexport, p, "Given name", w.shown(given));
  w.expect(by_pffexport, p, "Surname", w.shown(surname));
  w.expect(by_pffexport, p, "Business phone number 1", "+44 20 7946 0000");
  w.expect(by_pffexport, p, "Mobile phone number", "+44 7700 900123");
  w.expect(by_pffexport, p, "Email address 1", "zoe@example.org");
  w.expect(by_pst_extractor, p, "displayName", name_shown);
  w.expect(by_pst_extractor, p, "givenName", w.shown(given));
  w.expect(by_pst_extractor, p, "surname", w.shown(surname));
  w.expect(by_pst_extractor, p, "companyName", w.shown(company));
  w.expect(by_pst_extractor, p, "email1EmailAddress", "zoe@example.org");
  w.expect(by_pst_extractor, p, "email1DisplayName", w.shown("Zo\xC3\xAB (work)"));
  w.expect(by_pst_extractor, p, "homeAddressStreet", w.shown(street));
  w.expect(by_pst_extractor, p, "homeAddressCity", w.shown("M\xC3\xBCnchen"));
  w.expect(by_pst_extractor, p, "businessTelephoneNumber", "+44 20 7946 0000");

  w.folder("", "Calendar", "IPF.Appointment");
  if (::testing::Test::HasFatalFailure()) return;
  p = w.current() + "/K1";
  const std::string title = "K1 Design review " + latin, location = "Raum S\xC3\xBC" "d 4";
  w.subject(title);
  w.body("Bring the drawings. " + latin);
  w.text_prop(p, named(psetid_appointment, 0x8208), location);
  w.time_prop(p, named(psetid_appointment, 0x820D), review_start);
  w.time_prop(p, named(psetid_appointment, 0x820E), review_end);
  w.number_prop(p, named(psetid_appointment, 0x8213), 90);
  w.number_prop(p, named(psetid_appointment, 0x8205), 2);
  w.flag_prop(p, named(psetid_common, 0x8503), true);
  w.number_prop(p, named(psetid_common, 0x8501), 15);
  w.recipient("bob@example.org", "Bob Baker", 1);
  ASSERT_EQ(u ? CreateAppointment(0, 0) : CreateAppointmentA(0, 0), 0);
  w.expect(by_all & ~by_readpst, p, "subject", w.shown(title));
  w.expect(by_pypff | by_pst_extractor, p, "class", "IPM.Appointment");
  w.expect(by_pffexport | by_pst_extractor, p, "recipient", "1|Bob Baker|bob@example.org|SMTP");
  w.expect(by_pffexport | by_pst_extractor, p, "recipient_count", "1");
  w.expect(by_pypff | by_pst_extractor, p, "display_to", "Bob Baker");
  w.expect(by_readpst, p, "DTSTART;VALUE=DATE-TIME", "20240610T090000Z");
  w.expect(by_readpst, p, "DTEND;VALUE=DATE-TIME", "20240610T103000Z");
  w.expect(by_readpst, p, "LOCATION", w.shown(location));
  w.expect(by_readpst, p, "SUMMARY", w.shown(title));
  w.expect(by_readpst, p, "DESCRIPTION", w.shown("Bring the drawings. " + latin));
  w.expect(by_readpst, p, "VALARM.TRIGGER", "-PT15M");
  w.expect(by_pffexport, p, "Start time", "Jun 10, 2024 09:00:00.000000000 UTC");
  w.expect(by_pffexport, p, "End time", "Jun 10, 2024 10:30:00.000000000 UTC");
  w.expect(by_pffexport, p, "Duration", "90 minutes");
  w.expect(by_pffexport, p, "Location", w.shown(location));
  w.expect(by_pst_extractor, p, "location", w.shown(location));
  w.expect(by_pst_extractor, p, "startTime", "2024-06-10 09:00:00");
  w.expect(by_pst_extractor, p, "endTime", "2024-06-10 10:30:00");
  w.expect(by_pst_extractor, p, "duration", "90");
  w.expect(by_pst_extractor, p, "busyStatus", "2");
  w.expect(by_pst_extractor, p, "reminderSet", "true");
  w.expect(by_pst_extractor, p, "reminderDelta", "15");
  // pffexport writes no body of an appointment.
  w.expect(by_pst_extractor | by_pypff, p, "body", w.shown("Bring the drawings. " + latin));

  w.folder("", "Tasks", "IPF.Task");
  if (::testing::Test::HasFatalFailure()) return;
  p = w.current() + "/T1";
  w.subject("T1 Send the minutes");
  w.body("To everyone who came.");
  w.number_prop(p, named(psetid_task, 0x8101), 2);
  w.real_prop(p, named(psetid_task, 0x8102), 0.5);
  w.text_prop(p, named(psetid_task, 0x811F), "Ann \xC3\x85kesson");
  ASSERT_EQ(u ? CreateTask(0, 0) : CreateTaskA(0, 0), 0);
  // readpst writes no tasks and no sticky notes.
  w.expect(by_all & ~by_readpst, p, "subject", "T1 Send the minutes");
  w.expect(by_pypff | by_pst_extractor, p, "class", "IPM.Task");
  w.expect(by_pffexport, p, "Status", "0x00000002");
  w.expect(by_pffexport, p, "Percentage complete", "5.000000e-01");
  w.expect(by_pst_extractor, p, "taskStatus", "2");
  w.expect(by_pst_extractor, p, "percentComplete", "0.5");
  w.expect(by_pst_extractor, p, "taskOwner", w.shown("Ann \xC3\x85kesson"));
  w.expect(by_pst_extractor | by_libpff, p, "body", "To everyone who came.");

  w.folder("", "Notes", "IPF.StickyNote");
  if (::testing::Test::HasFatalFailure()) return;
  p = w.current() + "/N1";
  w.subject("N1 Buy milk");
  w.body("Buy milk and bread: " + latin);
  ASSERT_EQ(u ? CreateSticky(0) : CreateStickyA(0), 0);
  w.expect(by_all & ~by_readpst, p, "subject", "N1 Buy milk");
  w.expect(by_pypff | by_pst_extractor, p, "class", "IPM.StickyNote");
  w.expect(by_pst_extractor | by_libpff, p, "body", w.shown("Buy milk and bread: " + latin));

  w.folder("", "Journal", "IPF.Journal");
  if (::testing::Test::HasFatalFailure()) return;
  corpus_writer::message j;
  j.subject = "J1 a journal entry";
  j.body = "Phone call.";
  j.message_class = "IPM.Activity";
  j.time = 1710000000;
  j.readers = by_all & ~by_readpst;  // readpst writes no journal entries
  w.create(j);
}

// ---------------------------------------------------------------- the test

struct written {
  std::filesystem::path path;
  std::unique_ptr<corpus_writer> corpus;
};

class Corpus : public ::testing::TestWithParam<bool> {
 protected:
  static void SetUpTestSuite() {
    if (const char* keep = std::getenv("VENDREL_CORPUS_DIR"); keep && *keep) {
      dir_ = std::filesystem::path(keep);
      std::filesystem::create_directories(dir_);
    } else {
      temp_ = new TempDir();
      dir_ = temp_->path();
    }
    SetLogFile((dir_ / "corpus.log").string().c_str());
    for (bool unicode : {false, true}) {
      written& w = files_[unicode];
      w.path = dir_ / (unicode ? "corpus-unicode.pst" : "corpus-ansi.pst");
      std::filesystem::remove(w.path);
      w.corpus = std::make_unique<corpus_writer>(unicode);
      ASSERT_EQ(unicode ? CreatePst(wide(w.path.string()), wide("Corpus " + latin))
                        : CreatePstA(w.path.string().c_str(), ("Corpus " + latin).c_str()),
                0);
      write_messages(*w.corpus);
      if (HasFatalFailure()) return;
      write_kinds(*w.corpus);
      if (HasFatalFailure()) return;
      ASSERT_EQ(unicode ? CommitPst() : CommitPstA(), 0);
    }
  }
  static void TearDownTestSuite() {
    delete temp_;
    temp_ = nullptr;
    for (auto& w : files_) w.corpus.reset();
  }
  void SetUp() override {
    if (!files_[GetParam()].corpus || !std::filesystem::exists(files_[GetParam()].path))
      GTEST_SKIP() << "the corpus was not written";
  }

  const written& file() const { return files_[GetParam()]; }
  std::filesystem::path scratch(const std::string& reader) const {
    auto p = dir_ / (std::string(GetParam() ? "unicode-" : "ansi-") + reader);
    std::filesystem::create_directories(p);
    return p;
  }

  // Runs a reader's script and checks that it shows every expected line,
  // and the items it shows are the items written.
  void check(reader_id who, const std::string& command, const std::string& name) {
    run_result r = run(command, true);
    vendrel::test::write_file_bytes(dir_ / (std::string(GetParam() ? "unicode-" : "ansi-") + name + ".lines"),
                                    r.out.data(), r.out.size());
    ASSERT_EQ(r.status, 0) << command << "\n" << r.out.substr(r.out.size() > 3000 ? r.out.size() - 3000 : 0);
    std::multiset<std::string> shown;
    std::set<std::string> shown_items;
    std::istringstream in(r.out);
    for (std::string l; std::getline(in, l);) {
      shown.insert(l);
      const size_t tab = l.find('\t');
      if (tab != std::string::npos && l.compare(tab, 9, "\tsubject\t") == 0) shown_items.insert(l.substr(0, tab));
    }
    const std::multiset<std::string>& expected = file().corpus->expected[who];
    std::set<std::string> expected_items;
    std::string report;
    size_t missing = 0;
    for (auto it = expected.begin(); it != expected.end(); it = expected.upper_bound(*it)) {
      const std::string& l = *it;
      const size_t tab = l.find('\t');
      if (l.compare(tab, 9, "\tsubject\t") == 0) expected_items.insert(l.substr(0, tab));
      if (shown.count(l) >= expected.count(l)) continue;
      ++missing;
      if (missing > 40) continue;
      // What the reader shows instead under the same path and field.
      const std::string key = l.substr(0, l.find('\t', tab + 1) + 1);
      std::string instead;
      size_t n = 0;
      for (auto s = shown.lower_bound(key); s != shown.end() && s->compare(0, key.size(), key) == 0; ++s)
        if (++n <= 3) instead += "\n    shown: " + s->substr(0, 300);
      report += "\n  missing: " + l.substr(0, 300) + instead;
    }
    std::string all_missing;
    for (auto it = expected.begin(); it != expected.end(); it = expected.upper_bound(*it))
      if (shown.count(*it) < expected.count(*it)) all_missing += *it + "\n";
    vendrel::test::write_file_bytes(dir_ / (std::string(GetParam() ? "unicode-" : "ansi-") + name + ".missing"),
                                    all_missing.data(), all_missing.size());
    if (missing) ADD_FAILURE() << missing << " of " << expected.size() << " expected lines are not shown" << report;
    // Nothing beyond what was bound in the lists of an item: attachments,
    // recipients and embedded messages.
    std::string extra;
    for (auto it = shown.begin(); it != shown.end(); it = shown.upper_bound(*it)) {
      const size_t tab = it->find('\t');
      const std::string field = it->substr(tab + 1, it->find('\t', tab + 1) - tab - 1);
      if (field != "attachment" && field != "recipient" && field != "embedded") continue;
      if (expected.count(*it) < shown.count(*it)) extra += "\n  not bound: " + it->substr(0, 300);
    }
    EXPECT_EQ(extra, "") << "the reader shows more than was bound";
    EXPECT_EQ(shown_items, expected_items) << "the items shown are not the items written";
  }

  std::string python(const std::string& reader) const {
    return "/usr/bin/python3 '" + interop_dir + "/corpus_readers.py' " + reader + " " + quoted(file().path) + " " +
           quoted(scratch(reader));
  }

  static TempDir* temp_;
  static std::filesystem::path dir_;
  static written files_[2];
};
TempDir* Corpus::temp_ = nullptr;
std::filesystem::path Corpus::dir_;
written Corpus::files_[2];

TEST_P(Corpus, TheWalkerFindsNothing) {
  std::string findings;
  for (const vendrel::ndb_finding& f : vendrel::check_file(std::u16string_view(utf16(file().path.string()))))
    findings += vendrel::to_string(f) + "\n";
  EXPECT_EQ(findings, "");
}

TEST_P(Corpus, PypffShowsWhatWasBound) {
  if (!available("/usr/bin/python3 -c 'import pypff'")) GTEST_SKIP() << "pypff is not installed";
  check(pypff, python("pypff"), "pypff");
}

TEST_P(Corpus, PffexportShowsWhatWasBound) {
  if (!available("command -v pffexport")) GTEST_SKIP() << "pffexport is not installed";
  check(pffexport, python("pffexport"), "pffexport");
}

TEST_P(Corpus, ReadpstShowsWhatWasBound) {
  if (!available("command -v readpst")) GTEST_SKIP() << "readpst is not installed";
  check(readpst, python("readpst"), "readpst");
}

TEST_P(Corpus, PstExtractorShowsWhatWasBound) {
  if (!available("node --version") || !std::filesystem::exists(interop_dir + "/node_modules/pst-extractor"))
    GTEST_SKIP() << "node or pst-extractor (npm ci in tests/interop) is not installed";
  check(pst_extractor, "node '" + interop_dir + "/corpus_pst_extractor.js' " + quoted(file().path), "pst-extractor");
}

TEST_P(Corpus, LspstListsEveryFolderAndSubject) {
  if (!available("command -v lspst")) GTEST_SKIP() << "lspst is not installed";
  run_result r = run("lspst " + quoted(file().path));
  ASSERT_EQ(r.status, 0) << r.out.substr(0, 2000);
  // A line per folder and per item of a folder: 'Folder "<name>"' and
  // "...\tSubject: <subject>". lspst (libpst 0.6.76) prints folder names in
  // UTF-8 but an ANSI file's 8-bit subjects as they are stored, in code
  // page 1252; readpst above shows those subjects converted.
  const auto as_printed = [&](const std::string& text) { return GetParam() ? text : cp1252_bytes(text); };
  for (const std::string& l : file().corpus->expected[readpst]) {
    const size_t tab = l.find('\t');
    if (l.compare(tab, 8, "\tfolder\t") == 0) {
      const std::string name = l.substr(0, tab).substr(l.rfind('/', tab) == std::string::npos ? 0 : l.rfind('/', tab) + 1);
      EXPECT_NE(r.out.find("Folder \"" + name + "\"\n"), std::string::npos) << name;
    }
    if (l.compare(tab, 9, "\tsubject\t") != 0 || l.find(" >/") < tab) continue;
    const std::string subject = l.substr(tab + 9);
    EXPECT_NE(r.out.find("Subject: " + as_printed(subject) + "\n"), std::string::npos) << subject.substr(0, 80);
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, Corpus, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Unicode" : "Ansi"; });

}  // namespace
