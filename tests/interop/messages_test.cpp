// Messages written through the shared library, read by the independent
// readers: libpff (pypff and pffexport), libpst (readpst) and pst-extractor
// must each show, in a Unicode and an ANSI file, the subjects, bodies,
// senders, recipients, times, importance, sensitivity, classes, attachments
// with their bytes, an OLE attachment and embedded messages three deep as
// they were put in; pypff must read every property type bound by tag, in
// the heap and past the heap budget, with its type and value.
// A reader that is not installed skips its test (CI installs them all).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "interop_support.h"
#include "vendrel.h"

namespace {

using namespace vendrel::interop;

using vendrel::test::TempDir;
using vendrel::test::utf16;
using vendrel::test::write_file_bytes;

std::vector<uint8_t> pattern(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    bytes[i] = static_cast<uint8_t>(x >> 16);
  }
  return bytes;
}

struct recipient_spec {
  std::string email, name, type;
  uint32_t kind;  // 1 To, 2 Cc, 3 Bcc
};
struct attachment_spec {
  std::string name;
  size_t size;
  bool ole = false;
  std::string sha256{};  // filled when written
};
struct message_spec {
  std::string subject;  // UTF-8, without the prefix code
  std::string body;
  std::string sender_name, sender_email;
  std::vector<recipient_spec> recipients;
  std::vector<attachment_spec> attachments;
  std::vector<message_spec> embedded;  // held as embedded messages, in order
  std::string message_class = "IPM.Note";
  uint32_t importance = 1, sensitivity = 0;
  int64_t delivery = 0, submit = 0, creation = 0, modification = 0;  // unix seconds; 0: not bound
};

// The messages of one file, all in the folder Inbox.
std::vector<message_spec> messages_for(bool unicode) {
  std::vector<message_spec> all;
  message_spec fields;
  fields.subject = unicode ? "Gr\xC3\xBC\xC3\x9F" "e \xE2\x9C\x93 \xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E report" : "Quarterly report";
  fields.body = unicode ? "Hello,\r\nthe figures \xE2\x80\x94 attached.\r\nZ\xC3\xBCrich" : "Hello,\r\nthe figures are attached.\r\nRegards";
  fields.sender_name = unicode ? "Ren\xC3\xA9 Sender" : "Rene Sender";
  fields.sender_email = "sender@example.org";
  fields.recipients = {{"ann@example.org", "Ann Archer", "SMTP", 1},
                       {"bob@example.org", "Bob Baker", "SMTP", 1},
                       {"cy@example.org", "Cy Carter", "SMTP", 2},
                       {"dee@example.org", "Dee Dunn", "SMTP", 3}};
  fields.importance = 2;
  fields.sensitivity = 2;
  fields.delivery = 1614834367;
  fields.submit = 1614834300;
  fields.creation = 1614830000;
  fields.modification = 1614839999;
  all.push_back(fields);

  message_spec files;
  files.subject = "Attachments of every size";
  files.body = "Eight attachments.";
  files.sender_name = "Files";
  files.sender_email = "files@example.org";
  files.recipients = {{"ann@example.org", "Ann Archer", "SMTP", 1}};
  for (size_t size : {size_t{0}, size_t{1}, size_t{200}, size_t{201}, size_t{8176}, size_t{8177}, size_t{1} << 20})
    files.attachments.push_back({"file-" + std::to_string(size) + ".bin", size});
  files.attachments.push_back({"Embedded object", 5000, true});
  all.push_back(files);

  message_spec large;
  large.subject = "Thirty mebibytes";
  large.body = "A large attachment.";
  large.sender_name = "Large";
  large.sender_email = "large@example.org";
  large.attachments.push_back({"large.bin", size_t{30} << 20});
  all.push_back(large);

  message_spec level3;
  level3.subject = "Level three";
  level3.body = "The innermost message.";
  level3.sender_name = "Inner";
  level3.sender_email = "inner@example.org";
  level3.recipients = {{"cy@example.org", "Cy Carter", "SMTP", 1}};
  level3.attachments.push_back({"inner.txt", 300});
  message_spec level2;
  level2.subject = "Level two";
  level2.body = "Holds level three.";
  level2.sender_name = "Middle";
  level2.sender_email = "middle@example.org";
  level2.embedded = {level3};
  message_spec level1;
  level1.subject = "Level one";
  level1.body = "Holds level two.";
  level1.sender_name = "Outer";
  level1.sender_email = "outer@example.org";
  level1.embedded = {level2};
  message_spec top;
  top.subject = "Nested messages";
  top.body = "Holds level one and a note.";
  top.sender_name = "Top";
  top.sender_email = "top@example.org";
  message_spec note;
  note.subject = "Side note";
  note.body = "A second embedded message.";
  note.sender_name = "Note";
  note.sender_email = "note@example.org";
  top.embedded = {level1, note};
  top.attachments.push_back({"top.txt", 12});
  all.push_back(top);

  message_spec custom;
  custom.subject = "Custom class";
  custom.body = "";
  custom.sender_name = "Forms";
  custom.sender_email = "forms@example.org";
  custom.message_class = "IPM.Note.Vendrel";
  custom.importance = 0;
  custom.sensitivity = 3;
  all.push_back(custom);
  return all;
}

// Binds and creates one message (its embedded messages first, held as
// pending and attached to it); returns the CreateMessage result.
int32_t create(message_spec& m, bool unicode, bool embedded, const std::filesystem::path& scratch) {
  for (message_spec& inner : m.embedded)
    if (int32_t r = create(inner, unicode, true, scratch); r != 0) return r;
  uint32_t seed = 1;
  for (attachment_spec& a : m.attachments) {
    std::vector<uint8_t> data = pattern(a.size, seed++ + static_cast<uint32_t>(m.subject.size()));
    const auto file = scratch / ("attachment-" + std::to_string(a.size) + "-" + std::to_string(seed));
    write_file_bytes(file, data.data(), data.size());
    run_result hash = run("sha256sum " + quoted(file));
    a.sha256 = hash.out.substr(0, 64);
    std::filesystem::remove(file);
    if (Bind_attach(data.data(), static_cast<int32_t>(data.size()), a.name.c_str(), nullptr, nullptr, nullptr,
                    a.ole ? 0 : 1, 0) != 0)
      return -100;
  }
  auto times = [&](auto bind, int64_t value) {
    if (!value) return;
    const uint64_t ft = filetime(value);
    bind(static_cast<uint32_t>(ft), static_cast<uint32_t>(ft >> 32));
  };
  if (unicode) {
    Bind_subj(wide(m.subject), 0);
    Bind_body(wide(m.body));
    Bind_sender(wide(m.sender_email), wide(m.sender_name), nullptr);
    for (const auto& r : m.recipients)
      Bind_recipient(wide(r.email), wide(r.name), wide(r.type), r.kind, 1);
    Bind_importance(m.importance);
    Bind_sensitivity(m.sensitivity);
    times(Bind_delivery_time, m.delivery);
    times(Bind_client_submit_time, m.submit);
    times(Bind_creation_time, m.creation);
    times(Bind_last_modified_time, m.modification);
    return CreateMessage(wide(m.message_class), embedded, !m.embedded.empty());
  }
  Bind_subjA(m.subject.c_str(), 0);
  Bind_bodyA(m.body.c_str());
  Bind_senderA(m.sender_email.c_str(), m.sender_name.c_str(), nullptr);
  for (const auto& r : m.recipients)
    Bind_recipientA(r.email.c_str(), r.name.c_str(), r.type.c_str(), r.kind, 1);
  Bind_importanceA(m.importance);
  Bind_sensitivityA(m.sensitivity);
  times(Bind_delivery_timeA, m.delivery);
  times(Bind_client_submit_timeA, m.submit);
  times(Bind_creation_timeA, m.creation);
  times(Bind_last_modified_timeA, m.modification);
  return CreateMessageA(m.message_class.c_str(), embedded, !m.embedded.empty());
}

// The times carry over to the next message unless bound again: every
// message binds all four, zero meaning "now" is not wanted here.
void give_times(std::vector<message_spec>& all) {
  int64_t base = 1600000000;
  std::function<void(message_spec&)> fill = [&](message_spec& m) {
    for (auto& e : m.embedded) fill(e);
    if (!m.delivery) {
      m.delivery = base += 3600;
      m.submit = base - 60;
      m.creation = base - 120;
      m.modification = base + 60;
    }
  };
  for (auto& m : all) fill(m);
}

enum class reader { pypff, pffexport, readpst, pst_extractor };

// The lines a reader shows for a message and what it holds.
void expected_lines(const message_spec& m, const std::string& base, reader who, std::multiset<std::string>& out) {
  const std::string path = base + "/" + m.subject;
  auto line = [&](const std::string& field, const std::string& value) {
    out.insert(path + "\t" + field + "\t" + escape(value));
  };
  line("subject", m.subject);
  if (who != reader::readpst) line("body", m.body);
  line("sender_name", m.sender_name);
  line("sender_email", m.sender_email);
  const char* importance_names[] = {"Low", "Normal", "High"};
  const char* sensitivity_names[] = {"None", "Personal", "Private", "Confidential"};
  if (who == reader::pffexport) {
    line("importance", importance_names[m.importance]);
    line("sensitivity", sensitivity_names[m.sensitivity]);
  } else if (who != reader::readpst) {
    line("importance", std::to_string(m.importance));
    line("sensitivity", std::to_string(m.sensitivity));
    line("class", m.message_class);
  }
  if (who != reader::readpst) {
    line("delivery_time", utc_text(m.delivery));
    line("client_submit_time", utc_text(m.submit));
    line("creation_time", utc_text(m.creation));
    if (who != reader::pst_extractor) line("modification_time", utc_text(m.modification));
  }
  std::string to, cc, bcc;
  for (const auto& r : m.recipients) {
    std::string& list = r.kind == 1 ? to : r.kind == 2 ? cc : bcc;
    if (!list.empty()) list += ";";
    list += r.name;
    if (who == reader::pffexport || who == reader::pst_extractor)
      line("recipient", std::to_string(r.kind) + "|" + r.name + "|" + r.email + "|" + r.type);
  }
  if (who == reader::pst_extractor) {
    line("display_to", to);
    line("display_cc", cc);
    line("display_bcc", bcc);
  }
  if (who == reader::readpst) {
    line("display_to", to);
    line("display_cc", cc);
  }
  for (const auto& a : m.attachments) {
    std::string name = a.name;
    if (a.ole && who == reader::pffexport) name = "Attachment.txt";  // an OLE object has no file name
    if (a.ole && who == reader::readpst) name = "";
    // pst-extractor reads an OLE attachment's object reference, not its data.
    if (a.ole && who == reader::pst_extractor) continue;
    // readpst leaves out attachments without data.
    if (a.size == 0 && who == reader::readpst) continue;
    line("attachment", name + "|" + std::to_string(a.size) + "|" + a.sha256);
  }
  for (const auto& e : m.embedded) {
    if (who == reader::pypff)
      line("embedded", e.subject);  // pypff does not open embedded messages
    else
      expected_lines(e, path + " >", who, out);
  }
}

class MessageReaders : public ::testing::TestWithParam<bool> {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    SetLogFile((dir_->path() / "messages.log").string().c_str());
    for (bool unicode : {false, true}) {
      written& w = files_[unicode];
      w.path = dir_->path() / (unicode ? "unicode.pst" : "ansi.pst");
      w.messages = messages_for(unicode);
      give_times(w.messages);
      if (unicode)
        ASSERT_EQ(CreatePst(wide(w.path.string()), wide("Messages")), 0);
      else
        ASSERT_EQ(CreatePstA(w.path.string().c_str(), "Messages"), 0);
      ASSERT_EQ(unicode ? CreateFolder(wide(""), wide("Inbox"), wide("IPF.Note")) : CreateFolderA("", "Inbox", "IPF.Note"), 0);
      for (message_spec& m : w.messages) ASSERT_EQ(create(m, unicode, false, dir_->path()), 0) << m.subject;
      ASSERT_EQ(unicode ? CommitPst() : CommitPstA(), 0);
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  struct written {
    std::filesystem::path path;
    std::vector<message_spec> messages;
  };
  const written& file() const { return files_[GetParam()]; }
  std::filesystem::path scratch() const {
    auto p = dir_->path() / (GetParam() ? "scratch-unicode" : "scratch-ansi");
    std::filesystem::create_directories(p);
    return p;
  }

  // Runs a reader and checks that it shows every expected line and no message beyond them.
  void check(reader who, const std::string& command) {
    run_result r = run(command);
    ASSERT_EQ(r.status, 0) << command << "\n" << r.out.substr(0, 2000);
    std::multiset<std::string> shown;
    std::set<std::string> shown_paths;
    std::istringstream in(r.out);
    for (std::string l; std::getline(in, l);) {
      shown.insert(l);
      shown_paths.insert(l.substr(0, l.find('\t')));
    }
    std::multiset<std::string> expected;
    for (const auto& m : file().messages) expected_lines(m, "Inbox", who, expected);
    std::set<std::string> expected_paths;
    for (const auto& l : expected) {
      expected_paths.insert(l.substr(0, l.find('\t')));
      if (shown.count(l) >= expected.count(l)) continue;
      // What the reader shows instead under the same path and field.
      const std::string key = l.substr(0, l.find('\t', l.find('\t') + 1) + 1);
      std::string instead;
      for (const auto& s : shown)
        if (s.rfind(key, 0) == 0) instead += "\n  shown: " + s;
      ADD_FAILURE() << "missing: " << l << instead;
    }
    EXPECT_EQ(shown_paths, expected_paths);
  }

  static TempDir* dir_;
  static written files_[2];
};
TempDir* MessageReaders::dir_ = nullptr;
MessageReaders::written MessageReaders::files_[2];

TEST_P(MessageReaders, PypffShowsTheMessages) {
  if (!available("/usr/bin/python3 -c 'import pypff'")) GTEST_SKIP() << "pypff is not installed";
  check(reader::pypff, "/usr/bin/python3 '" + interop_dir + "/reader_lines.py' pypff " + quoted(file().path) + " " +
                           quoted(scratch()));
}

TEST_P(MessageReaders, PffexportShowsTheMessages) {
  if (!available("command -v pffexport")) GTEST_SKIP() << "pffexport is not installed";
  check(reader::pffexport, "/usr/bin/python3 '" + interop_dir + "/reader_lines.py' pffexport " + quoted(file().path) +
                               " " + quoted(scratch()));
}

TEST_P(MessageReaders, ReadpstShowsTheMessages) {
  if (!available("command -v readpst")) GTEST_SKIP() << "readpst is not installed";
  check(reader::readpst, "/usr/bin/python3 '" + interop_dir + "/reader_lines.py' readpst " + quoted(file().path) +
                             " " + quoted(scratch()));
}

TEST_P(MessageReaders, PstExtractorShowsTheMessages) {
  if (!available("node --version") || !std::filesystem::exists(interop_dir + "/node_modules/pst-extractor"))
    GTEST_SKIP() << "node or pst-extractor (npm ci in tests/interop) is not installed";
  check(reader::pst_extractor, "node '" + interop_dir + "/pst_extractor_lines.js' " + quoted(file().path));
}

TEST_P(MessageReaders, LspstListsTheTopLevelMessages) {
  if (!available("command -v lspst")) GTEST_SKIP() << "lspst is not installed";
  run_result r = run("lspst " + quoted(file().path));
  ASSERT_EQ(r.status, 0) << r.out;
  for (const auto& m : file().messages)
    EXPECT_NE(r.out.find("Subject: " + m.subject), std::string::npos) << m.subject << "\n" << r.out;
}

INSTANTIATE_TEST_SUITE_P(Variants, MessageReaders, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Unicode" : "Ansi"; });

}  // namespace

namespace {

// Every property type bound by tag, in the heap and past the heap budget.
struct typed_value {
  uint16_t type;
  std::vector<uint8_t> bytes;
};

template <typename T>
std::vector<uint8_t> bytes_of(const T& value) {
  std::vector<uint8_t> out(sizeof value);
  std::memcpy(out.data(), &value, sizeof value);
  return out;
}
std::vector<uint8_t> concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
// A multi-valued variable-size value: count, offsets, then the items.
std::vector<uint8_t> multi_variable(const std::vector<std::vector<uint8_t>>& items) {
  std::vector<uint8_t> out = bytes_of(static_cast<uint32_t>(items.size()));
  uint32_t offset = static_cast<uint32_t>(4 + 4 * items.size());
  for (const auto& item : items) {
    out = concat({out, bytes_of(offset)});
    offset += static_cast<uint32_t>(item.size());
  }
  for (const auto& item : items) out = concat({out, item});
  return out;
}
std::vector<uint8_t> utf16_bytes(const std::string& utf8) {
  std::vector<uint8_t> out;
  for (char16_t c : utf16(utf8)) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  return out;
}
std::vector<uint8_t> text_bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

std::vector<typed_value> typed_values() {
  const uint8_t guid[16] = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE, 1, 2, 3, 4, 5, 6, 7, 8};
  const std::vector<uint8_t> g(guid, guid + 16);
  return {
      {0x0002, bytes_of(static_cast<int16_t>(-2))},
      {0x0003, bytes_of(static_cast<int32_t>(0x12345678))},
      {0x0004, bytes_of(1.25f)},
      {0x0005, bytes_of(2.5)},
      {0x0006, bytes_of(static_cast<int64_t>(123456789012))},
      {0x0007, bytes_of(45000.5)},
      {0x000A, bytes_of(static_cast<uint32_t>(0x80004005))},
      {0x000B, {1}},
      {0x000D, pattern(24, 5)},
      {0x0014, bytes_of(static_cast<int64_t>(0x0102030405060708))},
      {0x001E, text_bytes("eight-bit text")},
      {0x001F, utf16_bytes("wide text \xE2\x9C\x93")},
      {0x0040, bytes_of(filetime(1700000000))},
      {0x0048, g},
      {0x0102, pattern(40, 7)},
      {0x1002, concat({bytes_of(int16_t{1}), bytes_of(int16_t{-1}), bytes_of(int16_t{300})})},
      {0x1003, concat({bytes_of(int32_t{7}), bytes_of(int32_t{-7}), bytes_of(int32_t{70000})})},
      {0x1004, concat({bytes_of(0.5f), bytes_of(-8.0f)})},
      {0x1005, concat({bytes_of(1.5), bytes_of(-3.25)})},
      {0x1006, concat({bytes_of(int64_t{10000}), bytes_of(int64_t{-20000})})},
      {0x1007, concat({bytes_of(1.0), bytes_of(40000.25)})},
      {0x1014, concat({bytes_of(int64_t{1} << 40), bytes_of(int64_t{-5})})},
      {0x1040, concat({bytes_of(filetime(1600000000)), bytes_of(filetime(1650000000))})},
      {0x1048, concat({g, g})},
      {0x101E, multi_variable({text_bytes("one"), text_bytes("two words")})},
      {0x101F, multi_variable({utf16_bytes("alpha"), utf16_bytes("\xCE\xB2\xCE\xB5\xCF\x84\xCE\xB1")})},
      {0x1102, multi_variable({pattern(5, 1), pattern(17, 2), {}})},
  };
}

class TaggedProperties : public ::testing::TestWithParam<bool> {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    SetLogFile((dir_->path() / "tagged.log").string().c_str());
    for (bool unicode : {false, true}) {
      const auto path = dir_->path() / (unicode ? "unicode.pst" : "ansi.pst");
      if (unicode)
        ASSERT_EQ(CreatePst(wide(path.string()), wide("Tagged")), 0);
      else
        ASSERT_EQ(CreatePstA(path.string().c_str(), "Tagged"), 0);
      ASSERT_EQ(unicode ? CreateFolder(wide(""), wide("Inbox"), wide("IPF.Note")) : CreateFolderA("", "Inbox", "IPF.Note"), 0);
      const uint8_t guid[16] = {0xA1, 0xB2, 0xC3, 0xD4, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
      std::vector<uint16_t>& ids = ids_[unicode];
      ids.clear();
      for (size_t i = 0; i < typed_values().size(); ++i) {
        const int32_t id = GetMapiTagForNP(0x5000 + static_cast<uint32_t>(i), guid, nullptr);
        ASSERT_GE(id, 0x8000);
        ids.push_back(static_cast<uint16_t>(id));
      }
      for (bool past_budget : {false, true}) {
        const std::string subject = past_budget ? "Past the heap budget" : "In the heap";
        if (unicode)
          Bind_subj(wide(subject), 0);
        else
          Bind_subjA(subject.c_str(), 0);
        // 13 binaries of 500 bytes at IDs below the typed ones: 6500 bytes of heap values first.
        if (past_budget)
          for (uint32_t i = 0; i < 13; ++i) {
            const auto filler = pattern(500, i);
            ASSERT_EQ(BindTaggedProp(((0x6800 + i) << 16) | 0x0102, filler.data(), 500), 0);
          }
        const auto values = typed_values();
        for (size_t i = 0; i < values.size(); ++i) {
          const uint32_t tag = (uint32_t{ids[i]} << 16) | values[i].type;
          ASSERT_EQ(BindTaggedProp(tag, values[i].bytes.data(),
                                                                  static_cast<uint32_t>(values[i].bytes.size())),
                    0);
        }
        // A caller's value of a standard property, replacing the bound field.
        const uint32_t importance = 2;
        BindTaggedProp(0x00170003, &importance, 4);
        ASSERT_EQ(unicode ? CreateMessage(wide("IPM.Note"), 0, 0) : CreateMessageA("IPM.Note", 0, 0), 0);
      }
      ASSERT_EQ(unicode ? CommitPst() : CommitPstA(), 0);
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static TempDir* dir_;
  static std::vector<uint16_t> ids_[2];
};
TempDir* TaggedProperties::dir_ = nullptr;
std::vector<uint16_t> TaggedProperties::ids_[2];

std::string hex(const std::vector<uint8_t>& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (uint8_t b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

TEST_P(TaggedProperties, PypffReadsEveryTypeWithItsValue) {
  if (!available("/usr/bin/python3 -c 'import pypff'")) GTEST_SKIP() << "pypff is not installed";
  const bool unicode = GetParam();
  const auto path = dir_->path() / (unicode ? "unicode.pst" : "ansi.pst");
  run_result r = run("/usr/bin/python3 '" + interop_dir + "/reader_lines.py' records " + quoted(path) + " " +
                     quoted(dir_->path()));
  ASSERT_EQ(r.status, 0);
  const auto values = typed_values();
  for (const char* subject : {"In the heap", "Past the heap budget"}) {
    SCOPED_TRACE(subject);
    const std::string prefix = std::string("Inbox/") + subject + "\trecord\t";
    // pypff's records of the message, by property ID.
    std::map<std::string, std::string> shown;
    std::istringstream in(r.out);
    for (std::string l; std::getline(in, l);)
      if (l.rfind(std::string("/") + subject + "\trecord\t") != std::string::npos) {
        const std::string record = l.substr(l.rfind('\t') + 1);
        shown[record.substr(0, 4)] = record.substr(5);
      }
    ASSERT_FALSE(shown.empty()) << r.out.substr(0, 3000);
    for (size_t i = 0; i < values.size(); ++i) {
      uint16_t type = values[i].type;
      if (type == 0x001E || type == 0x001F) type = unicode ? 0x001F : 0x001E;
      std::vector<uint8_t> bytes = values[i].bytes;
      if (values[i].type == 0x001E && unicode) bytes = utf16_bytes(std::string(bytes.begin(), bytes.end()));
      if (values[i].type == 0x001F && !unicode) {
        std::u16string text;
        for (size_t k = 0; k + 1 < bytes.size(); k += 2) text += static_cast<char16_t>(bytes[k] | (bytes[k + 1] << 8));
        // An ANSI file holds it in code page 1252 (VENDREL_ANSI_CODEPAGE is not
        // set here): its Latin-1 part as it is, "?" for what 1252 lacks.
        bytes.clear();
        for (char16_t c : text) bytes.push_back(c < 0x80 || (c >= 0xA0 && c < 0x100) ? static_cast<uint8_t>(c) : '?');
      }
      char id[8];
      std::snprintf(id, sizeof id, "%04X", ids_[unicode][i]);
      char type_text[8];
      std::snprintf(type_text, sizeof type_text, "%04X", type);
      ASSERT_TRUE(shown.count(id)) << "type " << type_text << " is not shown";
      const std::string& record = shown[id];
      EXPECT_EQ(record.substr(0, 4), type_text) << "property " << id;
      // Inline values may come padded to their 32-bit field.
      std::string data = record.substr(5);
      if (data.size() > 2 * bytes.size() && (type == 0x0002 || type == 0x000B)) data.resize(2 * bytes.size());
      EXPECT_EQ(data, hex(bytes)) << "property " << id << " of type " << type_text;
    }
    EXPECT_EQ(shown["0017"], "0003|02000000");
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, TaggedProperties, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Unicode" : "Ansi"; });

}  // namespace
