// Writes one fixed set of calls into a PST file through the public header,
// so that what the readers show of it can be compared between builds of
// the library: the file written by one build is dumped by every reader and
// kept as the expected view (tests/interop/same_calls/), and
// same_calls_test.cpp writes the same calls with the build under test.
//
// The calls load the write path where it does most of its work: a folder of
// 300 small messages (2 KiB plain body, a To, a Cc and a Bcc recipient),
// whose contents table spans several row blocks and whose nodes and blocks
// split both B-trees; attachments of 256 KiB and 1 MiB (data trees); an
// HTML body; 300 subfolders of one folder (a hierarchy table over several
// blocks); a folder five levels deep; a contact, an appointment, a task and
// a sticky note.
//
// Everything an item shows is bound (all four times too), the text is
// ASCII, and each item's code pages are bound, so nothing depends on the
// host, the clock or the code page the library defaults to.
//
// Usage: same_calls_host FILE.pst unicode|ansi
// Unicode files are written through the wide calls, ANSI files through the
// narrow ones. Exits 0 when every call succeeded; otherwise names the first
// call that failed and its result.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vendrel.h"

namespace {

constexpr int inbox_messages = 300;
constexpr int project_folders = 300;

// The store's first item time, 2024-03-01 08:00:00 UTC, in seconds since 1970.
constexpr int64_t base_time = 1709280000;

[[noreturn]] void fail(const char* call, int line, int32_t result) {
  std::fprintf(stderr, "same_calls_host: line %d: %s returned %d\n", line, call, static_cast<int>(result));
  std::exit(1);
}

#define CALL(expr)                                     \
  do {                                                 \
    const int32_t result_ = (expr);                    \
    if (result_ != 0) fail(#expr, __LINE__, result_);  \
  } while (0)

std::u16string widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

uint64_t filetime(int64_t unix_seconds) { return (static_cast<uint64_t>(unix_seconds) + 11644473600ull) * 10000000ull; }

// Deterministic bytes: a 64-bit xorshift stream from a seed.
std::vector<uint8_t> pattern(size_t size, uint64_t seed) {
  std::vector<uint8_t> out(size);
  uint64_t x = seed * 0x9E3779B97F4A7C15ull + 1;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 7;
    x ^= x << 17;
    out[i] = static_cast<uint8_t>(x >> 24);
  }
  return out;
}

std::string number(int n, int width) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%0*d", width, n);
  return buf;
}

// A plain body of exactly `size` bytes of ASCII lines, different per item.
std::string plain_body(int item, size_t size) {
  static const char* words[] = {"ledger", "harbour", "copper", "meadow", "signal", "lantern", "orbit", "quarry",
                                "timber", "velvet",  "walnut", "zenith", "anchor", "bramble", "cinder", "delta"};
  std::string text;
  uint32_t x = static_cast<uint32_t>(item) * 2654435761u + 7;
  int line = 1;
  while (text.size() < size) {
    text += "Line " + number(line++, 3) + " of item " + number(item, 3) + ":";
    for (int w = 0; w < 8; ++w) {
      x = x * 1103515245u + 12345u;
      text += " ";
      text += words[(x >> 16) % 16];
    }
    text += ".\r\n";
  }
  text.resize(size);
  return text;
}

// The calls of one variant: the wide family for a Unicode file, the narrow
// one for an ANSI file. Strings are ASCII.
class host {
 public:
  explicit host(bool unicode) : u_(unicode) {}

  void create(const std::string& path) {
    if (u_) {
      const std::u16string p = widen(path), name = widen("Same Calls");
      CALL(CreatePst(w(p), w(name)));
    } else {
      CALL(CreatePstA(path.c_str(), "Same Calls"));
    }
  }
  void commit() { CALL(u_ ? CommitPst() : CommitPstA()); }

  void folder(const std::string& parent, const std::string& name, const std::string& cls) {
    if (u_) {
      const std::u16string p = widen(parent), n = widen(name), c = widen(cls);
      CALL(CreateFolder(w(p), w(n), w(c)));
    } else {
      CALL(CreateFolderA(parent.c_str(), name.c_str(), cls.c_str()));
    }
  }
  void change(const std::string& path) {
    if (u_) {
      const std::u16string p = widen(path);
      CALL(ChangeFolder(w(p)));
    } else {
      CALL(ChangeFolderA(path.c_str()));
    }
  }

  // The fields every item binds: code pages, subject, the four times. The
  // message code page (PidTagMessageCodepage) is bound too, so that the
  // item holds it whether or not the library adds it of its own accord.
  void common(const std::string& subject, int64_t when) {
    CALL(u_ ? Bind_codepage(1252) : Bind_codepageA(1252));
    const int32_t message_codepage = 1252;
    value_prop(0x3FFD0003, &message_codepage, 4);
    if (u_) {
      const std::u16string s = widen(subject);
      CALL(Bind_subj(w(s), 0));
    } else {
      CALL(Bind_subjA(subject.c_str(), 0));
    }
    times(when);
  }
  void times(int64_t when) {
    const uint64_t creation = filetime(when), modified = filetime(when + 30), submit = filetime(when - 3600),
                   delivery = filetime(when - 3000);
    const auto lo = [](uint64_t t) { return static_cast<uint32_t>(t); };
    const auto hi = [](uint64_t t) { return static_cast<uint32_t>(t >> 32); };
    CALL(u_ ? Bind_creation_time(lo(creation), hi(creation)) : Bind_creation_timeA(lo(creation), hi(creation)));
    CALL(u_ ? Bind_last_modified_time(lo(modified), hi(modified))
            : Bind_last_modified_timeA(lo(modified), hi(modified)));
    CALL(u_ ? Bind_client_submit_time(lo(submit), hi(submit)) : Bind_client_submit_timeA(lo(submit), hi(submit)));
    CALL(u_ ? Bind_delivery_time(lo(delivery), hi(delivery)) : Bind_delivery_timeA(lo(delivery), hi(delivery)));
  }
  void sender(const std::string& email, const std::string& name) {
    if (u_) {
      const std::u16string e = widen(email), n = widen(name), t = widen("SMTP");
      CALL(Bind_sender(w(e), w(n), w(t)));
    } else {
      CALL(Bind_senderA(email.c_str(), name.c_str(), "SMTP"));
    }
  }
  void recipient(const std::string& email, const std::string& name, uint32_t type) {
    if (u_) {
      const std::u16string e = widen(email), n = widen(name), t = widen("SMTP");
      CALL(Bind_recipient(w(e), w(n), w(t), type, 1));
    } else {
      CALL(Bind_recipientA(email.c_str(), name.c_str(), "SMTP", type, 1));
    }
  }
  void body(const std::string& text) {
    if (u_) {
      const std::u16string t = widen(text);
      CALL(Bind_body(w(t)));
    } else {
      CALL(Bind_bodyA(text.c_str()));
    }
  }
  void html(const std::string& text) {
    if (u_) {
      const std::u16string t = widen(text);
      CALL(Bind_html_body(w(t)));
    } else {
      CALL(Bind_html_bodyA(text.c_str()));
    }
  }
  void importance(uint32_t value) { CALL(u_ ? Bind_importance(value) : Bind_importanceA(value)); }
  void flags(uint32_t value) { CALL(u_ ? Bind_flags(value) : Bind_flagsA(value)); }
  void attach(const std::vector<uint8_t>& data, const char* name, const char* mime) {
    CALL(Bind_attach(data.data(), static_cast<int32_t>(data.size()), name, nullptr, mime, nullptr, 1, 0));
  }

  // A named property's tag of the given type.
  static uint32_t named(const uint8_t* guid, uint32_t lid, uint32_t type) {
    const int32_t id = GetMapiTagForNP(lid, guid, nullptr);
    if (id < 0x8000) fail("GetMapiTagForNP", __LINE__, id);
    return (static_cast<uint32_t>(id) << 16) | type;
  }
  // A text property: PT_UNICODE through the wide call, PT_STRING8 through
  // the narrow one.
  void text_prop(uint32_t tag_without_type, const std::string& text) {
    if (u_) {
      std::string bytes;
      for (char c : text) bytes += {c, '\0'};
      CALL(BindTaggedProp(tag_without_type | 0x001F, bytes.data(), static_cast<uint32_t>(bytes.size())));
    } else {
      CALL(BindTaggedPropA(tag_without_type | 0x001E, text.data(), static_cast<uint32_t>(text.size())));
    }
  }
  void value_prop(uint32_t tag, const void* data, uint32_t size) {
    CALL(u_ ? BindTaggedProp(tag, data, size) : BindTaggedPropA(tag, data, size));
  }

  void message() { CALL(u_ ? CreateMessage(w(class_note_), 0, 0) : CreateMessageA("IPM.Note", 0, 0)); }
  void contact() { CALL(u_ ? CreateContact(0, 0) : CreateContactA(0, 0)); }
  void appointment() { CALL(u_ ? CreateAppointment(0, 0) : CreateAppointmentA(0, 0)); }
  void task() { CALL(u_ ? CreateTask(0, 0) : CreateTaskA(0, 0)); }
  void sticky() { CALL(u_ ? CreateSticky(0) : CreateStickyA(0)); }

 private:
  static const vendrel_wchar* w(const std::u16string& s) { return reinterpret_cast<const vendrel_wchar*>(s.c_str()); }
  bool u_;
  const std::u16string class_note_ = u"IPM.Note";
};

const uint8_t psetid_appointment[16] = {0x02, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                        0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
const uint8_t psetid_task[16] = {0x03, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
const uint8_t psetid_address[16] = {0x04, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                    0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

void write_inbox(host& h) {
  h.folder("", "Inbox", "IPF.Note");
  for (int i = 0; i < inbox_messages; ++i) {
    const std::string n = number(i, 3);
    h.common("Note " + n + " weekly figures", base_time + i * 60);
    h.sender("sender" + number(i % 7, 1) + "@example.com", "Sender " + number(i % 7, 1));
    h.body(plain_body(i, 2048));
    h.recipient("to" + n + "@example.com", "To " + n, 1);
    h.recipient("cc" + n + "@example.net", "Cc " + n, 2);
    h.recipient("bcc" + n + "@example.org", "Bcc " + n, 3);
    h.importance(static_cast<uint32_t>(i % 3));
    h.flags(i % 2 ? 1u : 8u);
    h.message();
  }
}

void write_files(host& h) {
  h.folder("", "Files", "IPF.Note");
  const int64_t when = base_time + 86400;
  h.common("Quarter report attached", when);
  h.sender("files@example.com", "File Desk");
  h.body("The quarter report is attached.\r\n");
  h.recipient("ann@example.com", "Ann Archer", 1);
  h.attach(pattern(256 * 1024, 1), "quarter.bin", "application/octet-stream");
  h.message();

  h.common("Year archive attached", when + 60);
  h.body("The year archive and its index are attached.\r\n");
  h.recipient("ann@example.com", "Ann Archer", 1);
  h.recipient("ben@example.com", "Ben Baker", 2);
  h.attach(pattern(1024 * 1024, 2), "year.bin", "application/octet-stream");
  h.attach(pattern(3000, 3), "index.txt", "text/plain");
  h.message();

  h.common("Newsletter in HTML", when + 120);
  h.sender("news@example.com", "News Desk");
  std::string html = "<html><head><title>Newsletter</title></head><body>\r\n<h1>Newsletter</h1>\r\n";
  for (int p = 0; p < 40; ++p)
    html += "<p>Paragraph " + number(p, 2) + ": <b>" + plain_body(1000 + p, 60) + "</b> and more.</p>\r\n";
  html += "</body></html>\r\n";
  h.html(html);
  h.body("Newsletter\r\n\r\nRead the HTML part.\r\n");
  h.recipient("ann@example.com", "Ann Archer", 1);
  h.message();
}

void write_projects(host& h) {
  h.folder("", "Projects", "IPF.Note");
  for (int i = 0; i < project_folders; ++i) {
    const std::string name = "Project " + number(i, 3);
    h.folder("Projects", name, i % 5 == 4 ? "IPF.Task" : "IPF.Note");
    if (i % 100 == 0) {
      h.common("Kickoff of " + name, base_time + 2 * 86400 + i * 60);
      h.sender("pm@example.com", "Project Office");
      h.body("Kickoff notes for " + name + ".\r\n");
      h.recipient("team" + number(i, 3) + "@example.com", "Team " + number(i, 3), 1);
      h.message();
    }
  }
}

void write_deep(host& h) {
  h.folder("", "Archive", "IPF.Note");
  h.folder("Archive", "2024", "IPF.Note");
  h.folder("Archive\\2024", "Q1", "IPF.Note");
  h.folder("Archive\\2024\\Q1", "March", "IPF.Note");
  h.folder("Archive\\2024\\Q1\\March", "Week 10", "IPF.Note");
  h.common("Deep note", base_time + 3 * 86400);
  h.sender("archive@example.com", "Archive Desk");
  h.body("Filed five levels down.\r\n");
  h.recipient("ann@example.com", "Ann Archer", 1);
  h.message();
  h.change("Archive\\2024");
  h.common("Year note", base_time + 3 * 86400 + 60);
  h.body("Filed two levels down.\r\n");
  h.message();
}

void write_kinds(host& h) {
  const int64_t when = base_time + 4 * 86400;
  h.folder("", "Contacts", "IPF.Contact");
  h.common("Dana Dalton", when);
  h.text_prop(0x3001u << 16, "Dana Dalton");
  h.text_prop(0x3A06u << 16, "Dana");
  h.text_prop(0x3A11u << 16, "Dalton");
  h.text_prop(0x3A16u << 16, "Dalton Freight");
  h.text_prop(0x3A08u << 16, "+1 555 0100");
  h.text_prop(host::named(psetid_address, 0x8083, 0), "dana@example.com");
  h.text_prop(host::named(psetid_address, 0x8080, 0), "Dana Dalton (work)");
  h.text_prop(host::named(psetid_address, 0x8082, 0), "SMTP");
  h.contact();

  h.folder("", "Calendar", "IPF.Appointment");
  h.common("Design review", when + 60);
  h.body("Bring the drawings.\r\n");
  const uint64_t start = filetime(base_time + 10 * 86400 + 9 * 3600), end = start + 90ull * 60 * 10000000;
  h.text_prop(host::named(psetid_appointment, 0x8208, 0), "Room 4");
  h.value_prop(host::named(psetid_appointment, 0x820D, 0x0040), &start, 8);
  h.value_prop(host::named(psetid_appointment, 0x820E, 0x0040), &end, 8);
  const int32_t duration = 90, busy = 2;
  h.value_prop(host::named(psetid_appointment, 0x8213, 0x0003), &duration, 4);
  h.value_prop(host::named(psetid_appointment, 0x8205, 0x0003), &busy, 4);
  h.recipient("ben@example.com", "Ben Baker", 1);
  h.appointment();

  h.folder("", "Tasks", "IPF.Task");
  h.common("Send the minutes", when + 120);
  h.body("To everyone who came.\r\n");
  const int32_t status = 2;
  const double complete = 0.5;
  h.value_prop(host::named(psetid_task, 0x8101, 0x0003), &status, 4);
  h.value_prop(host::named(psetid_task, 0x8102, 0x0005), &complete, 8);
  h.text_prop(host::named(psetid_task, 0x811F, 0), "Ann Archer");
  h.task();

  h.folder("", "Notes", "IPF.StickyNote");
  h.common("Call the printer", when + 180);
  h.body("Call the printer about the proofs.\r\n");
  h.sticky();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[2], "unicode") != 0 && std::strcmp(argv[2], "ansi") != 0)) {
    std::fprintf(stderr, "usage: same_calls_host FILE.pst unicode|ansi\n");
    return 2;
  }
  const std::string path = argv[1];
  SetLogFile((path + ".log").c_str());
  host h(std::strcmp(argv[2], "unicode") == 0);
  h.create(path);
  write_inbox(h);
  write_files(h);
  write_projects(h);
  write_deep(h);
  write_kinds(h);
  h.commit();
  SetLogFile(nullptr);
  return 0;
}
