/* Writes two personal folder files through the public header: a Unicode
 * file (CreatePst) and an ANSI file (CreatePstA), each with a small tree of
 * nested folders, checks the tree with CheckFolder, writes one item of each
 * kind (a contact, an appointment, a task and a sticky note) into folders of
 * the matching container class, and commits.
 * Usage: write_pst [DIRECTORY] (default: the current directory); the files
 * are example-unicode.pst and example-ansi.pst, the log vendrel-example.log. */
#include <stdio.h>
#include <string.h>

#include "vendrel.h"

/* UTF-16 strings without a C11 u"" literal: the code units, NUL-terminated. */
static const vendrel_wchar* wide(const char* ascii, vendrel_wchar* buffer, size_t size) {
  size_t i = 0;
  for (; ascii[i] && i + 1 < size; ++i) buffer[i] = (vendrel_wchar)(unsigned char)ascii[i];
  buffer[i] = 0;
  return buffer;
}

static int check(int32_t result, int32_t expected, const char* what) {
  if (result == expected) return 0;
  fprintf(stderr, "%s: got %d, expected %d\n", what, (int)result, (int)expected);
  return 1;
}

/* Property sets of the named properties the items use. */
static const unsigned char psetid_address[16] = {0x04, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
static const unsigned char psetid_appointment[16] = {0x02, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                     0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

/* A FILETIME (100 ns since 1601) of a UTC time given as seconds since 1970. */
static uint64_t filetime_of(int64_t unix_seconds) {
  return ((uint64_t)unix_seconds + 11644473600ull) * 10000000ull;
}

/* A text property by tag, in the width of the family. */
static void bind_text(int wide_family, uint32_t property_id, const char* ascii) {
  if (wide_family) {
    unsigned char bytes[256];
    size_t i = 0;
    for (; ascii[i] && 2 * i + 1 < sizeof bytes; ++i) {
      bytes[2 * i] = (unsigned char)ascii[i];
      bytes[2 * i + 1] = 0;
    }
    BindTaggedProp((property_id << 16) | 0x001F, bytes, (uint32_t)(2 * i));
  } else {
    BindTaggedPropA((property_id << 16) | 0x001E, ascii, (uint32_t)strlen(ascii));
  }
}

static void bind_time(int wide_family, uint32_t property_id, uint64_t filetime) {
  unsigned char bytes[8];
  int i;
  for (i = 0; i < 8; ++i) bytes[i] = (unsigned char)(filetime >> (8 * i));
  if (wide_family)
    BindTaggedProp((property_id << 16) | 0x0040, bytes, 8);
  else
    BindTaggedPropA((property_id << 16) | 0x0040, bytes, 8);
}

static void bind_subject(int wide_family, const char* ascii) {
  vendrel_wchar buffer[128];
  if (wide_family)
    Bind_subj(wide(ascii, buffer, 128), 0);
  else
    Bind_subjA(ascii, 0);
}

/* One item of each kind into the current store's folders Contacts, Calendar,
 * Tasks and Sticky Notes (created here unless they exist). */
static int write_items(int wide_family) {
  vendrel_wchar parent[8], name[32], klass[32], text[64];
  int failures = 0;
  const uint64_t start = filetime_of(1718010000); /* 2024-06-10 09:00:00 UTC */
  int32_t id;

  /* A folder of the kind's container class; one that exists already is made current. */
#define FOLDER(folder, container_class)                                                                         \
  (wide_family ? (CheckFolder(wide(folder, name, 32)) == 1                                                       \
                      ? ChangeFolder(wide(folder, name, 32))                                                     \
                      : CreateFolder(wide("", parent, 8), wide(folder, name, 32), wide(container_class, klass, 32))) \
               : (CheckFolderA(folder) == 1 ? ChangeFolderA(folder) : CreateFolderA("", folder, container_class)))

  /* A contact: names, a telephone number and the first e-mail slot. */
  failures += check(FOLDER("Contacts", "IPF.Contact"), 0, "CreateFolder Contacts");
  bind_subject(wide_family, "Ada Lovelace");
  bind_text(wide_family, 0x3001, "Ada Lovelace");
  bind_text(wide_family, 0x3A06, "Ada");
  bind_text(wide_family, 0x3A11, "Lovelace");
  bind_text(wide_family, 0x3A08, "+44 20 7946 0000");
  id = GetMapiTagForNP(0x8083, psetid_address, NULL);
  if (id > 0) bind_text(wide_family, (uint32_t)id, "ada@example.org");
  failures += check(wide_family ? CreateContact(0, 0) : CreateContactA(0, 0), 0, "CreateContact");

  /* An appointment of one hour with a location and an attendee. */
  failures += check(FOLDER("Calendar", "IPF.Appointment"), 0, "CreateFolder Calendar");
  bind_subject(wide_family, "Design review");
  id = GetMapiTagForNP(0x8208, psetid_appointment, NULL);
  if (id > 0) bind_text(wide_family, (uint32_t)id, "Room 4");
  id = GetMapiTagForNP(0x820D, psetid_appointment, NULL);
  if (id > 0) bind_time(wide_family, (uint32_t)id, start);
  id = GetMapiTagForNP(0x820E, psetid_appointment, NULL);
  if (id > 0) bind_time(wide_family, (uint32_t)id, start + 36000000000ull);
  if (wide_family) {
    vendrel_wchar email[64];
    Bind_recipient(wide("bob@example.org", email, 64), wide("Bob Baker", text, 64), NULL, 1, 1);
  } else {
    Bind_recipientA("bob@example.org", "Bob Baker", NULL, 1, 1);
  }
  failures += check(wide_family ? CreateAppointment(0, 0) : CreateAppointmentA(0, 0), 0, "CreateAppointment");

  /* A task and a sticky note. */
  failures += check(FOLDER("Tasks", "IPF.Task"), 0, "CreateFolder Tasks");
  bind_subject(wide_family, "Send the minutes");
  if (wide_family)
    Bind_body(wide("To everyone who came.", text, 64));
  else
    Bind_bodyA("To everyone who came.");
  failures += check(wide_family ? CreateTask(0, 0) : CreateTaskA(0, 0), 0, "CreateTask");

  failures += check(FOLDER("Sticky Notes", "IPF.StickyNote"), 0, "CreateFolder Sticky Notes");
  bind_subject(wide_family, "Buy milk");
  if (wide_family)
    Bind_body(wide("Buy milk", text, 64));
  else
    Bind_bodyA("Buy milk");
  failures += check(wide_family ? CreateSticky(0) : CreateStickyA(0), 0, "CreateSticky");
#undef FOLDER
  return failures;
}

static void path_in(char* out, size_t size, const char* directory, const char* name) {
  snprintf(out, size, "%s/%s", directory, name);
}

static int write_unicode(const char* directory) {
  /* "Каталог" (Cyrillic) and "日本" (CJK), as UTF-16 code units. */
  static const vendrel_wchar cyrillic[] = {0x041A, 0x0430, 0x0442, 0x0430, 0x043B, 0x043E, 0x0433, 0};
  static const vendrel_wchar cjk[] = {0x65E5, 0x672C, 0};
  vendrel_wchar path[512], name[64], parent[64], klass[32];
  char narrow[512];
  int failures = 0;

  path_in(narrow, sizeof narrow, directory, "example-unicode.pst");
  failures += check(CreatePst(wide(narrow, path, 512), wide("Example (Unicode)", name, 64)), 0, "CreatePst");
  failures += check(CreateFolder(wide("", parent, 64), wide("Projects", name, 64), wide("IPF.Note", klass, 32)), 0,
                    "CreateFolder Projects");
  failures += check(CreateFolder(wide("Projects\\Archive", parent, 64), wide("Reports", name, 64),
                                 wide("IPF.Task", klass, 32)), 0, "CreateFolder Reports");
  failures += check(CreateFolder(wide("", parent, 64), wide("Contacts", name, 64), wide("IPF.Contact", klass, 32)), 0,
                    "CreateFolder Contacts");
  failures += check(CreateFolder(wide("Projects", parent, 64), cyrillic, wide("IPF.Note", klass, 32)), 0,
                    "CreateFolder Cyrillic");
  failures += check(ChangeFolder(cjk), 0, "ChangeFolder CJK");
  failures += check(CheckFolder(wide("Projects\\Archive\\Reports", parent, 64)), 1, "CheckFolder");
  failures += write_items(1);
  failures += check(CommitPst(), 0, "CommitPst");
  if (!failures) printf("wrote %s\n", narrow);
  return failures;
}

static int write_ansi(const char* directory) {
  char path[512];
  int failures = 0;

  path_in(path, sizeof path, directory, "example-ansi.pst");
  failures += check(CreatePstA(path, "Example (ANSI)"), 0, "CreatePstA");
  failures += check(CreateFolderA("", "Inbox", "IPF.Note"), 0, "CreateFolderA Inbox");
  failures += check(CreateFolderA("Inbox", "2024", "IPF.Note"), 0, "CreateFolderA 2024");
  failures += check(CreateFolderA("Inbox\\2024", "March", "IPF.Note"), 0, "CreateFolderA March");
  failures += check(CreateFolderA("", "Calendar", "IPF.Appointment"), 0, "CreateFolderA Calendar");
  failures += check(ChangeFolderA("Notes\\Ideas"), 0, "ChangeFolderA");
  failures += check(CheckFolderA("Inbox\\2025"), 0, "CheckFolderA");
  failures += write_items(0);
  failures += check(CommitPstA(), 0, "CommitPstA");
  if (!failures) printf("wrote %s\n", path);
  return failures;
}

int main(int argc, char** argv) {
  const char* directory = argc > 1 ? argv[1] : ".";
  char log_path[512];
  int failures;

  path_in(log_path, sizeof log_path, directory, "vendrel-example.log");
  SetLogFile(log_path);
  failures = write_unicode(directory) + write_ansi(directory);
  if (failures) fprintf(stderr, "%d call(s) failed; see %s\n", failures, log_path);
  return failures ? 1 : 0;
}
