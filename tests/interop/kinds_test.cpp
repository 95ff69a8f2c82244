// Contacts, appointments, tasks and sticky notes written through the shared
// library, read by the independent readers: readpst must export the contact
// as a vCard and the appointment as an iCalendar event with the names,
// e-mail address, telephone numbers, address, subject, location, start, end
// and reminder that were put in; pffexport, pypff and pst-extractor must
// show each item's kind, message class and the properties they expose,
// named properties resolved through the file's own named property map.
// Every value is bound the way a host binds it: the bound fields and
// tagged properties, with named-property IDs from GetMapiTagForNP.
// A reader that is not installed skips its test (CI installs them all).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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

const uint8_t psetid_common[16] = {0x08, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
const uint8_t psetid_address[16] = {0x04, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
const uint8_t psetid_appointment[16] = {0x02, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
const uint8_t psetid_task[16] = {0x03, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};

constexpr int64_t review_start = 1718010000;  // 2024-06-10 09:00:00 UTC
constexpr int64_t review_end = review_start + 90 * 60;

// The binding calls of one family.
struct family {
  bool unicode;
  void subject(const std::string& text) const {
    if (unicode) Bind_subj(wide(text), 0);
    else Bind_subjA(text.c_str(), 0);
  }
  void body(const std::string& text) const {
    if (unicode) Bind_body(wide(text));
    else Bind_bodyA(text.c_str());
  }
  void tagged(uint32_t tag, const void* data, uint32_t size) const {
    if (unicode) BindTaggedProp(tag, data, size);
    else BindTaggedPropA(tag, data, size);
  }
  void text(uint32_t id, const std::string& value) const {
    if (unicode) {
      const std::u16string t = utf16(value);
      std::vector<uint8_t> bytes;
      for (char16_t c : t) {
        bytes.push_back(static_cast<uint8_t>(c));
        bytes.push_back(static_cast<uint8_t>(c >> 8));
      }
      tagged((id << 16) | 0x001F, bytes.data(), static_cast<uint32_t>(bytes.size()));
    } else {
      tagged((id << 16) | 0x001E, value.data(), static_cast<uint32_t>(value.size()));
    }
  }
  void number(uint32_t id, uint32_t value) const { tagged((id << 16) | 0x0003, &value, 4); }
  void flag(uint32_t id, bool value) const {
    const uint8_t b = value ? 1 : 0;
    tagged((id << 16) | 0x000B, &b, 1);
  }
  void time(uint32_t id, int64_t unix_seconds) const {
    const uint64_t ft = filetime(unix_seconds);
    tagged((id << 16) | 0x0040, &ft, 8);
  }
  void real(uint32_t id, double value) const { tagged((id << 16) | 0x0005, &value, 8); }
};

// The ID the open store gives a named property.
uint32_t named(const uint8_t* set, uint32_t lid) {
  const int32_t id = GetMapiTagForNP(lid, set, nullptr);
  EXPECT_GE(id, 0x8000) << std::hex << lid;
  return static_cast<uint32_t>(id);
}

void write_items(const family& f) {
  ASSERT_EQ(f.unicode ? CreateFolder(wide(""), wide("Contacts"), wide("IPF.Contact"))
                      : CreateFolderA("", "Contacts", "IPF.Contact"),
            0);
  f.subject("Ada Lovelace");
  f.text(0x3001, "Ada Lovelace");
  f.text(0x3A06, "Ada");
  f.text(0x3A11, "Lovelace");
  f.text(0x3A16, "Analytical Engines");
  f.text(0x3A17, "Countess");
  f.text(0x3A08, "+44 20 7946 0000");
  f.text(0x3A1C, "+44 7700 900123");
  f.text(0x3A5D, "12 St James Square");  // home street, city, postal code, country
  f.text(0x3A59, "London");
  f.text(0x3A5B, "SW1Y 4JH");
  f.text(0x3A5A, "United Kingdom");
  f.text(named(psetid_address, 0x8083), "ada@example.org");
  f.text(named(psetid_address, 0x8080), "Ada Lovelace (work)");
  f.text(named(psetid_address, 0x8082), "SMTP");
  f.text(named(psetid_address, 0x801A), "12 St James Square\r\nLondon SW1Y 4JH\r\nUnited Kingdom");
  ASSERT_EQ(f.unicode ? CreateContact(0, 0) : CreateContactA(0, 0), 0);

  ASSERT_EQ(f.unicode ? CreateFolder(wide(""), wide("Calendar"), wide("IPF.Appointment"))
                      : CreateFolderA("", "Calendar", "IPF.Appointment"),
            0);
  f.subject("Design review");
  f.body("Bring the drawings.");
  f.text(named(psetid_appointment, 0x8208), "Room 4");
  f.time(named(psetid_appointment, 0x820D), review_start);
  f.time(named(psetid_appointment, 0x820E), review_end);
  f.number(named(psetid_appointment, 0x8213), 90);
  f.number(named(psetid_appointment, 0x8205), 2);  // busy
  f.flag(named(psetid_common, 0x8503), true);      // reminder set
  f.number(named(psetid_common, 0x8501), 15);      // minutes before the start
  if (f.unicode)
    Bind_recipient(wide("bob@example.org"), wide("Bob Baker"), nullptr, 1, 1);
  else
    Bind_recipientA("bob@example.org", "Bob Baker", nullptr, 1, 1);
  ASSERT_EQ(f.unicode ? CreateAppointment(0, 0) : CreateAppointmentA(0, 0), 0);

  ASSERT_EQ(f.unicode ? CreateFolder(wide(""), wide("Tasks"), wide("IPF.Task")) : CreateFolderA("", "Tasks", "IPF.Task"),
            0);
  f.subject("Send the minutes");
  f.body("To everyone who came.");
  f.number(named(psetid_task, 0x8101), 2);  // in progress
  f.real(named(psetid_task, 0x8102), 0.5);
  f.text(named(psetid_task, 0x811F), "Ann Archer");
  ASSERT_EQ(f.unicode ? CreateTask(0, 0) : CreateTaskA(0, 0), 0);

  ASSERT_EQ(f.unicode ? CreateFolder(wide(""), wide("Notes"), wide("IPF.StickyNote"))
                      : CreateFolderA("", "Notes", "IPF.StickyNote"),
            0);
  f.subject("Buy milk");
  f.body("Buy milk and bread.");
  ASSERT_EQ(f.unicode ? CreateSticky(0) : CreateStickyA(0), 0);
}

// What each reader must show, as lines "<folder>/<name>\t<field>\t<value>".
std::vector<std::string> expected_readpst() {
  return {
      "Contacts/Ada Lovelace\tkind\tVCARD",
      "Contacts/Ada Lovelace\tFN\tAda Lovelace",
      "Contacts/Ada Lovelace\tN\tLovelace;Ada;;;",
      "Contacts/Ada Lovelace\tEMAIL\tada@example.org",
      "Contacts/Ada Lovelace\tTEL;TYPE=work,voice\t+44 20 7946 0000",
      "Contacts/Ada Lovelace\tTEL;TYPE=cell,voice\t+44 7700 900123",
      "Contacts/Ada Lovelace\tORG\tAnalytical Engines",
      "Contacts/Ada Lovelace\tTITLE\tCountess",
      "Contacts/Ada Lovelace\tADR;TYPE=home\t;;12 St James Square;London;;SW1Y 4JH;United Kingdom",
      "Calendar/Design review\tkind\tVEVENT",
      "Calendar/Design review\tDTSTART;VALUE=DATE-TIME\t20240610T090000Z",
      "Calendar/Design review\tDTEND;VALUE=DATE-TIME\t20240610T103000Z",
      "Calendar/Design review\tLOCATION\tRoom 4",
      "Calendar/Design review\tSUMMARY\tDesign review",
      "Calendar/Design review\tDESCRIPTION\tBring the drawings.",
      "Calendar/Design review\tVALARM.ACTION\tDISPLAY",
      "Calendar/Design review\tVALARM.TRIGGER\t-PT15M",
  };
}
std::vector<std::string> expected_pffexport() {
  return {
      "Contacts/Ada Lovelace\tkind\tContact",
      "Contacts/Ada Lovelace\tDisplay name\tAda Lovelace",
      "Contacts/Ada Lovelace\tGiven name\tAda",
      "Contacts/Ada Lovelace\tSurname\tLovelace",
      "Contacts/Ada Lovelace\tFile under\tAda Lovelace",
      "Contacts/Ada Lovelace\tBusiness phone number 1\t+44 20 7946 0000",
      "Contacts/Ada Lovelace\tMobile phone number\t+44 7700 900123",
      "Contacts/Ada Lovelace\tEmail address 1\tada@example.org",
      "Calendar/Design review\tkind\tAppointment",
      "Calendar/Design review\tStart time\tJun 10, 2024 09:00:00.000000000 UTC",
      "Calendar/Design review\tEnd time\tJun 10, 2024 10:30:00.000000000 UTC",
      "Calendar/Design review\tDuration\t90 minutes",
      "Calendar/Design review\tLocation\tRoom 4",
      "Tasks/Send the minutes\tkind\tTask",
      "Tasks/Send the minutes\tStatus\t0x00000002",
      "Tasks/Send the minutes\tPercentage complete\t5.000000e-01",
      "Notes/Buy milk\tkind\tNote",
      "Notes/Buy milk\tSubject\tBuy milk",
  };
}
std::vector<std::string> expected_pypff() {
  return {
      "Contacts/Ada Lovelace\tclass\tIPM.Contact",
      "Contacts/Ada Lovelace\trecord:1080\t512",
      "Contacts/Ada Lovelace\trecord:3A16\tAnalytical Engines",
      "Calendar/Design review\tclass\tIPM.Appointment",
      "Calendar/Design review\trecord:1080\t1024",
      "Calendar/Design review\trecord:0E04\tBob Baker",
      "Tasks/Send the minutes\tclass\tIPM.Task",
      "Tasks/Send the minutes\trecord:1080\t1280",
      "Notes/Buy milk\tclass\tIPM.StickyNote",
      "Notes/Buy milk\trecord:1080\t771",
  };
}
std::vector<std::string> expected_pst_extractor() {
  return {
      "Contacts/Ada Lovelace\ttype\tPSTContact",
      "Contacts/Ada Lovelace\tclass\tIPM.Contact",
      "Contacts/Ada Lovelace\tdisplayName\tAda Lovelace",
      "Contacts/Ada Lovelace\tgivenName\tAda",
      "Contacts/Ada Lovelace\tsurname\tLovelace",
      "Contacts/Ada Lovelace\tcompanyName\tAnalytical Engines",
      "Contacts/Ada Lovelace\ttitle\tCountess",
      "Contacts/Ada Lovelace\tfileUnder\tAda Lovelace",
      "Contacts/Ada Lovelace\temail1EmailAddress\tada@example.org",
      "Contacts/Ada Lovelace\temail1DisplayName\tAda Lovelace (work)",
      "Contacts/Ada Lovelace\temail1AddressType\tSMTP",
      "Contacts/Ada Lovelace\tbusinessTelephoneNumber\t+44 20 7946 0000",
      "Contacts/Ada Lovelace\tmobileTelephoneNumber\t+44 7700 900123",
      "Contacts/Ada Lovelace\thomeAddressStreet\t12 St James Square",
      "Contacts/Ada Lovelace\thomeAddressCity\tLondon",
      "Contacts/Ada Lovelace\thomeAddressPostalCode\tSW1Y 4JH",
      "Contacts/Ada Lovelace\thomeAddressCountry\tUnited Kingdom",
      "Calendar/Design review\ttype\tPSTAppointment",
      "Calendar/Design review\tclass\tIPM.Appointment",
      "Calendar/Design review\tbody\tBring the drawings.",
      "Calendar/Design review\tlocation\tRoom 4",
      "Calendar/Design review\tstartTime\t2024-06-10 09:00:00",
      "Calendar/Design review\tendTime\t2024-06-10 10:30:00",
      "Calendar/Design review\tduration\t90",
      "Calendar/Design review\tbusyStatus\t2",
      "Calendar/Design review\treminderSet\ttrue",
      "Calendar/Design review\treminderDelta\t15",
      "Tasks/Send the minutes\ttype\tPSTTask",
      "Tasks/Send the minutes\tclass\tIPM.Task",
      "Tasks/Send the minutes\tbody\tTo everyone who came.",
      "Tasks/Send the minutes\ttaskStatus\t2",
      "Tasks/Send the minutes\tpercentComplete\t0.5",
      "Tasks/Send the minutes\ttaskOwner\tAnn Archer",
      "Notes/Buy milk\tclass\tIPM.StickyNote",
      "Notes/Buy milk\tbody\tBuy milk and bread.",
  };
}

class KindReaders : public ::testing::TestWithParam<bool> {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir();
    SetLogFile((dir_->path() / "kinds.log").string().c_str());
    for (bool unicode : {false, true}) {
      const auto path = file(unicode);
      ASSERT_EQ(unicode ? CreatePst(wide(path.string()), wide("Kinds")) : CreatePstA(path.string().c_str(), "Kinds"), 0);
      write_items(family{unicode});
      ASSERT_EQ(unicode ? CommitPst() : CommitPstA(), 0);
    }
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::filesystem::path file(bool unicode) { return dir_->path() / (unicode ? "unicode.pst" : "ansi.pst"); }
  std::filesystem::path scratch() const {
    auto p = dir_->path() / (GetParam() ? "scratch-unicode" : "scratch-ansi");
    std::filesystem::create_directories(p);
    return p;
  }
  // Runs a reader and checks that it shows every expected line.
  void check(const std::string& command, const std::vector<std::string>& expected) {
    int status = -1;
    const std::string out = run(command, &status);
    ASSERT_EQ(status, 0) << command << "\n" << out.substr(0, 2000);
    std::set<std::string> shown;
    std::istringstream in(out);
    for (std::string l; std::getline(in, l);) shown.insert(l);
    for (const std::string& l : expected) {
      if (shown.count(l)) continue;
      const std::string key = l.substr(0, l.find('\t', l.find('\t') + 1) + 1);
      std::string instead;
      for (const auto& s : shown)
        if (s.rfind(key, 0) == 0) instead += "\n  shown: " + s;
      if (instead.empty()) {
        // Nothing of that item and field: what the reader shows in the folder.
        const std::string folder = l.substr(0, l.find('/') + 1);
        for (const auto& s : shown)
          if (s.rfind(folder, 0) == 0) instead += "\n  in the folder: " + s;
      }
      ADD_FAILURE() << "missing: " << l << instead;
    }
  }
  std::string lines(const std::string& reader) const {
    return "/usr/bin/python3 '" + interop_dir + "/kinds_lines.py' " + reader + " " + quoted(file(GetParam())) + " " +
           quoted(scratch());
  }
  static TempDir* dir_;
};
TempDir* KindReaders::dir_ = nullptr;

TEST_P(KindReaders, ReadpstWritesTheContactAsAVCardAndTheAppointmentAsAnEvent) {
  if (!available("command -v readpst")) GTEST_SKIP() << "readpst is not installed";
  check(lines("readpst"), expected_readpst());
}

TEST_P(KindReaders, PffexportShowsEachKindWithItsFields) {
  if (!available("command -v pffexport")) GTEST_SKIP() << "pffexport is not installed";
  check(lines("pffexport"), expected_pffexport());
}

TEST_P(KindReaders, PypffShowsTheClassesAndIcons) {
  if (!available("/usr/bin/python3 -c 'import pypff'")) GTEST_SKIP() << "pypff is not installed";
  check(lines("pypff"), expected_pypff());
}

TEST_P(KindReaders, PstExtractorReadsTheKindsAndTheirNamedProperties) {
  if (!available("node --version") || !std::filesystem::exists(interop_dir + "/node_modules/pst-extractor"))
    GTEST_SKIP() << "node or pst-extractor (npm ci in tests/interop) is not installed";
  check("node '" + interop_dir + "/kinds_pst_extractor.js' " + quoted(file(GetParam())), expected_pst_extractor());
}

INSTANTIATE_TEST_SUITE_P(Variants, KindReaders, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Unicode" : "Ansi"; });

}  // namespace
