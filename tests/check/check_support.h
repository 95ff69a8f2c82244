// What the checker tests share: files written through the exported calls,
// the mail client's files, and a report printed when a test fails.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "check/pst_check.h"
#include "support/temp_dir.h"
#include "vendrel.h"

namespace vendrel::test {

inline const std::filesystem::path outlook_dir = std::filesystem::path(VENDREL_SHARED_DIR) / "data" / "outlook";

inline std::string describe(const check_report& r) {
  std::string out = r.readable ? "" : "unreadable: " + r.unreadable_reason + "\n";
  for (const auto& f : r.findings) {
    char where[96];
    std::snprintf(where, sizeof where, " off 0x%llX bid 0x%llX nid 0x%X: ", static_cast<unsigned long long>(f.offset),
                  static_cast<unsigned long long>(f.bid), f.nid);
    out += std::string(to_string(f.severity)) + " " + to_string(f.area) + where + f.message + "\n";
  }
  return out;
}

inline check_report check(const std::filesystem::path& p) { return check_pst(utf16(p.string())); }

inline std::vector<const check_finding*> errors_in(const check_report& r, check_area area) {
  std::vector<const check_finding*> out;
  for (const auto& f : r.findings)
    if (f.severity == check_severity::error && f.area == area) out.push_back(&f);
  return out;
}

// A wide string for the calls.
struct wtext {
  explicit wtext(const std::string& utf8) : text(utf16(utf8)) {}
  operator const vendrel_wchar*() const { return reinterpret_cast<const vendrel_wchar*>(text.c_str()); }
  std::u16string text;
};

// Writes a small store through the exported calls: folders, messages with
// recipients and attachments, and a chain of embedded messages three deep.
inline void write_sample(const std::filesystem::path& path, bool unicode, int recipients = 3) {
  auto bind_message = [&](const std::string& subject, const std::string& body, int recips) {
    if (unicode) {
      Bind_subj(wtext(subject), 0);
      Bind_body(wtext(body));
      Bind_sender(wtext("s@example.org"), wtext("Sender"), nullptr);
      for (int i = 0; i < recips; ++i)
        Bind_recipient(wtext("r" + std::to_string(i) + "@example.org"), wtext("Recipient " + std::to_string(i)),
                       wtext("SMTP"), 1, 1);
    } else {
      Bind_subjA(subject.c_str(), 0);
      Bind_bodyA(body.c_str());
      Bind_senderA("s@example.org", "Sender", nullptr);
      for (int i = 0; i < recips; ++i)
        Bind_recipientA(("r" + std::to_string(i) + "@example.org").c_str(), ("Recipient " + std::to_string(i)).c_str(),
                        "SMTP", 1, 1);
    }
  };
  auto create = [&](bool embedded, bool pending) {
    return unicode ? CreateMessage(wtext("IPM.Note"), embedded, pending) : CreateMessageA("IPM.Note", embedded, pending);
  };
  ASSERT_EQ(unicode ? CreatePst(wtext(path.string()), wtext("Check")) : CreatePstA(path.string().c_str(), "Check"), 0);
  if (unicode)
    ASSERT_EQ(CreateFolder(nullptr, wtext("Inbox"), wtext("IPF.Note")), 0);
  else
    ASSERT_EQ(CreateFolderA(nullptr, "Inbox", "IPF.Note"), 0);
  for (int i = 0; i < 3; ++i) {
    bind_message("Message " + std::to_string(i), "Body " + std::to_string(i), recipients);
    std::vector<uint8_t> data(1000 + 5000 * i, static_cast<uint8_t>(i));
    ASSERT_EQ(Bind_attach(data.data(), static_cast<int32_t>(data.size()), "a.bin", nullptr, nullptr, nullptr, 1, 0), 0);
    ASSERT_EQ(create(false, false), 0);
  }
  // Three levels: the innermost carries an attachment.
  std::vector<uint8_t> inner(300, 0x5A);
  ASSERT_EQ(Bind_attach(inner.data(), static_cast<int32_t>(inner.size()), "inner.txt", nullptr, nullptr, nullptr, 1, 0), 0);
  bind_message("Level three", "Innermost", 1);
  ASSERT_EQ(create(true, false), 0);
  bind_message("Level two", "Middle", 1);
  ASSERT_EQ(create(true, true), 0);
  bind_message("Level one", "Outer", 1);
  ASSERT_EQ(create(true, true), 0);
  bind_message("Nested", "Top", 1);
  ASSERT_EQ(create(false, true), 0);
  ASSERT_EQ(unicode ? CommitPst() : CommitPstA(), 0);
}

}  // namespace vendrel::test
