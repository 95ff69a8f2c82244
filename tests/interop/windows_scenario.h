/* One fixed run of the exported calls, shared by the Windows host program
 * (tests/windows/host.c, which takes the calls from vendrel.dll with
 * GetProcAddress) and the Linux comparison (windows_host_test.cpp, which
 * takes them from libvendrel.so): both write the same Unicode PST, ANSI PST,
 * PST in a directory deeper than the plain Win32 path limits, and EML tree,
 * so that what the independent readers show of the two can be compared.
 *
 * Plain C99 that also compiles as C++. Paths are built with "\", which the
 * library takes as a separator on every system. The item-kind and EML calls
 * may be missing (null in the table): the steps that need them are left out
 * on both sides alike. */
#ifndef VENDREL_WINDOWS_SCENARIO_H
#define VENDREL_WINDOWS_SCENARIO_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "vendrel.h"

#if defined(_WIN32)
#define SCENARIO_W(text) L##text
#else
#define SCENARIO_W(text) u##text
#endif

#ifdef __cplusplus
#define SCENARIO_TYPE(name) decltype(&::name)
#else
#define SCENARIO_TYPE(name) __typeof__(&name)
#endif

/* The calls of the scenario: X(name, required). */
#define SCENARIO_CALLS(X)                                                                                  \
  X(CreatePst, 1) X(CreatePstA, 1) X(CommitPst, 1) X(CommitPstA, 1) X(CreateFolder, 1) X(CreateFolderA, 1) \
  X(ChangeFolder, 1) X(ChangeFolderA, 1) X(Bind_codepage, 1) X(Bind_codepageA, 1) X(Bind_subj, 1)           \
  X(Bind_subjA, 1) X(Bind_body, 1) X(Bind_bodyA, 1) X(Bind_importance, 1) X(Bind_importanceA, 1)            \
  X(Bind_sensitivity, 1) X(Bind_sensitivityA, 1) X(Bind_creation_time, 1) X(Bind_creation_timeA, 1)         \
  X(Bind_last_modified_time, 1) X(Bind_last_modified_timeA, 1) X(Bind_client_submit_time, 1)                \
  X(Bind_client_submit_timeA, 1) X(Bind_delivery_time, 1) X(Bind_delivery_timeA, 1)                         \
  X(Bind_delivery_time_s, 1) X(Bind_delivery_time_sA, 1) X(Bind_sender, 1) X(Bind_senderA, 1)               \
  X(Bind_recipient, 1) X(Bind_recipientA, 1) X(Bind_attach, 1) X(BClear, 1) X(BClearA, 1)                    \
  X(CreateMessage, 1) X(CreateMessageA, 1) X(CreateSticky, 0) X(CreateStickyA, 0) X(CreateContact, 0)       \
  X(CreateContactA, 0) X(CreateAppointment, 0) X(CreateAppointmentA, 0) X(CreateTask, 0) X(CreateTaskA, 0)   \
  X(CreateEML, 0) X(Bind_body_EML, 0)

typedef struct scenario_api {
#define SCENARIO_MEMBER(name, required) SCENARIO_TYPE(name) name;
  SCENARIO_CALLS(SCENARIO_MEMBER)
#undef SCENARIO_MEMBER
} scenario_api;

/* Where the files go. `folder` and `narrow_folder` name the same existing
 * directory; `long_folder` is a directory below it that the caller made
 * beforehand from scenario_long_components (deeper than 247 characters). */
typedef struct scenario_paths {
  const vendrel_wchar* folder;
  const char* narrow_folder;
  const vendrel_wchar* long_folder;
} scenario_paths;

typedef struct scenario_run {
  const scenario_api* api;
  int failures;
} scenario_run;

/* The components of the deep directory, below the output folder: five of
 * 50 characters, so that any output folder gives more than 247 in all. */
static const vendrel_wchar* const scenario_long_components[] = {
    SCENARIO_W("long path"),
    SCENARIO_W("A directory name of fifty characters, number 01 ab"),
    SCENARIO_W("A directory name of fifty characters, number 02 ab"),
    SCENARIO_W("Ein Verzeichnisname mit f\u00FCnfzig Zeichen, Nr. 03 abcd"),
    SCENARIO_W("A directory name of fifty characters, number 04 ab"),
    SCENARIO_W("A directory name of fifty characters, number 05 ab"),
};
#define SCENARIO_LONG_COMPONENTS (sizeof scenario_long_components / sizeof scenario_long_components[0])

#define SCENARIO_PATH_CAPACITY 1024

static size_t scenario_wlen(const vendrel_wchar* text) {
  size_t n = 0;
  while (text[n]) ++n;
  return n;
}

/* out = a + "\" + b (b may be null: out = a). */
static void scenario_wjoin(vendrel_wchar* out, const vendrel_wchar* a, const vendrel_wchar* b) {
  size_t n = scenario_wlen(a), m = b ? scenario_wlen(b) : 0;
  if (n + m + 2 > SCENARIO_PATH_CAPACITY) n = m = 0;
  memmove(out, a, n * sizeof *out);
  if (b) {
    out[n++] = (vendrel_wchar)'\\';
    memcpy(out + n, b, m * sizeof *out);
    n += m;
  }
  out[n] = 0;
}

static void scenario_join(char* out, const char* a, const char* b) {
  snprintf(out, SCENARIO_PATH_CAPACITY, "%s\\%s", a, b);
}

static void scenario_expect(scenario_run* run, int32_t actual, int32_t expected, const char* what) {
  if (actual != expected) {
    fprintf(stderr, "scenario: %s: got %d, expected %d\n", what, (int)actual, (int)expected);
    ++run->failures;
  }
}

/* Deterministic attachment bytes. */
static void scenario_pattern(unsigned char* bytes, size_t size, uint32_t seed) {
  uint32_t x = seed * 2654435761u + 1;
  size_t i;
  for (i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    bytes[i] = (unsigned char)(x >> 16);
  }
}

/* FILETIMEs: 2021-03-04 01:16:07 UTC and some offsets from it. */
#define SCENARIO_TIME 132592941670000000ull
#define SCENARIO_LOW(t) ((uint32_t)((t) & 0xFFFFFFFFu))
#define SCENARIO_HIGH(t) ((uint32_t)((t) >> 32))

static unsigned char scenario_big[70000];

/* ---------------------------------------------------------------- Unicode */

static void scenario_wide_times(const scenario_api* api, uint64_t base) {
  api->Bind_creation_time(SCENARIO_LOW(base), SCENARIO_HIGH(base));
  api->Bind_last_modified_time(SCENARIO_LOW(base + 600000000ull), SCENARIO_HIGH(base + 600000000ull));
  api->Bind_client_submit_time(SCENARIO_LOW(base + 100000000ull), SCENARIO_HIGH(base + 100000000ull));
  api->Bind_delivery_time(SCENARIO_LOW(base + 200000000ull), SCENARIO_HIGH(base + 200000000ull));
}

/* A message with recipients of each kind and two attachments. */
static void scenario_wide_message(scenario_run* run, uint8_t embedded, uint8_t attach_pending) {
  const scenario_api* api = run->api;
  static const char small[] = "R\xC3\xA9sum\xC3\xA9 in UTF-8\r\n";
  scenario_pattern(scenario_big, sizeof scenario_big, 7);
  scenario_expect(run, api->Bind_codepage(65001), 0, "Bind_codepage");
  scenario_expect(run, api->Bind_subj(SCENARIO_W("RE: Gr\u00FC\u00DFe aus Z\u00FCrich \u2713 \u65E5\u672C"), 4), 0,
                  "Bind_subj");
  scenario_expect(run,
                  api->Bind_body(SCENARIO_W("Hallo,\r\ndie Zahlen \u2014 anbei.\r\n\u041F\u0440\u0438\u0432\u0435\u0442")),
                  0, "Bind_body");
  scenario_expect(run, api->Bind_sender(SCENARIO_W("rene@example.org"), SCENARIO_W("Ren\u00E9 Sender"), SCENARIO_W("SMTP")),
                  0, "Bind_sender");
  scenario_expect(run,
                  api->Bind_recipient(SCENARIO_W("ann@example.org"), SCENARIO_W("\u00C5sa Archer"), SCENARIO_W("SMTP"), 1, 1),
                  0, "Bind_recipient To");
  scenario_expect(run, api->Bind_recipient(SCENARIO_W("bob@example.org"), SCENARIO_W("Bob Baker"), SCENARIO_W("SMTP"), 2, 1),
                  0, "Bind_recipient Cc");
  scenario_expect(run,
                  api->Bind_recipient(SCENARIO_W("cy@example.org"), SCENARIO_W("\u5C71\u7530 Cy"), SCENARIO_W("SMTP"), 3, 1),
                  0, "Bind_recipient Bcc");
  /* Attachment names are narrow, in the system's ANSI code page (1252 or
   * so on Windows, UTF-8 on Linux): ASCII names mean the same on both. */
  scenario_expect(run, api->Bind_attach(small, (int32_t)(sizeof small - 1), "resume.txt", NULL, "text/plain", NULL, 1, 0),
                  0, "Bind_attach small");
  scenario_expect(run, api->Bind_attach(scenario_big, (int32_t)sizeof scenario_big, "data.bin", NULL, NULL, NULL, 1, 0), 0,
                  "Bind_attach large");
  scenario_expect(run, api->Bind_importance(2), 0, "Bind_importance");
  scenario_expect(run, api->Bind_sensitivity(1), 0, "Bind_sensitivity");
  scenario_wide_times(api, SCENARIO_TIME);
  scenario_expect(run, api->CreateMessage(SCENARIO_W("IPM.Note"), embedded, attach_pending), 0, "CreateMessage");
}

/* A message holding an embedded message, which holds an attachment. */
static void scenario_wide_nested(scenario_run* run) {
  const scenario_api* api = run->api;
  static const char inner[] = "inner attachment";
  scenario_expect(run, api->Bind_codepage(65001), 0, "Bind_codepage inner");
  scenario_expect(run, api->Bind_subj(SCENARIO_W("Inneres \u00C4pfelchen"), 0), 0, "Bind_subj inner");
  scenario_expect(run, api->Bind_body(SCENARIO_W("Die innere Nachricht.")), 0, "Bind_body inner");
  scenario_expect(run, api->Bind_sender(SCENARIO_W("inner@example.org"), SCENARIO_W("Inner"), NULL), 0, "Bind_sender inner");
  scenario_expect(run, api->Bind_attach(inner, (int32_t)(sizeof inner - 1), "inner.txt", NULL, NULL, NULL, 1, 0), 0,
                  "Bind_attach inner");
  scenario_wide_times(api, SCENARIO_TIME + 36000000000ull);
  scenario_expect(run, api->CreateMessage(SCENARIO_W("IPM.Note"), 1, 0), 0, "CreateMessage inner");
  scenario_expect(run, api->Bind_codepage(65001), 0, "Bind_codepage outer");
  scenario_expect(run, api->Bind_subj(SCENARIO_W("\u00C4u\u00DFere Nachricht"), 0), 0, "Bind_subj outer");
  scenario_expect(run, api->Bind_body(SCENARIO_W("H\u00E4lt eine Nachricht.")), 0, "Bind_body outer");
  scenario_expect(run, api->Bind_sender(SCENARIO_W("outer@example.org"), SCENARIO_W("Outer"), NULL), 0, "Bind_sender outer");
  scenario_expect(run, api->Bind_recipient(SCENARIO_W("ann@example.org"), SCENARIO_W("Ann"), SCENARIO_W("SMTP"), 1, 1), 0,
                  "Bind_recipient outer");
  scenario_wide_times(api, SCENARIO_TIME + 72000000000ull);
  scenario_expect(run, api->CreateMessage(SCENARIO_W("IPM.Note"), 0, 1), 0, "CreateMessage outer");
}

/* One item of a kind, with a subject and a body of its own. */
static void scenario_wide_kind(scenario_run* run, int32_t (*create)(uint8_t, uint8_t), int32_t (*create_sticky)(uint8_t),
                               const vendrel_wchar* subject, const char* what) {
  const scenario_api* api = run->api;
  scenario_expect(run, api->Bind_codepage(65001), 0, "Bind_codepage kind");
  scenario_expect(run, api->Bind_subj(subject, 0), 0, "Bind_subj kind");
  scenario_expect(run, api->Bind_body(SCENARIO_W("Notiz \u00FCber das Element.")), 0, "Bind_body kind");
  scenario_wide_times(api, SCENARIO_TIME + 144000000000ull);
  scenario_expect(run, create ? create(0, 0) : create_sticky(0), 0, what);
}

static void scenario_unicode_store(scenario_run* run, const vendrel_wchar* path) {
  const scenario_api* api = run->api;
  scenario_expect(run, api->CreatePst(path, SCENARIO_W("Host \u00FCber Unicode")), 0, "CreatePst");
  scenario_expect(run, api->CreateFolder(SCENARIO_W("Inbox"), SCENARIO_W("\u00C9t\u00E9 2024"), SCENARIO_W("IPF.Note")), 0,
                  "CreateFolder Inbox\\\u00C9t\u00E9 2024");
  scenario_wide_message(run, 0, 0);
  scenario_wide_nested(run);
  scenario_expect(run,
                  api->CreateFolder(SCENARIO_W("Inbox\\\u00C9t\u00E9 2024"), SCENARIO_W("\u041A\u043E\u043D\u0442\u0430\u043A\u0442"),
                                    SCENARIO_W("IPF.Note")),
                  0, "CreateFolder nested");
  scenario_expect(run, api->ChangeFolder(SCENARIO_W("\u65E5\u672C\u8A9E\\\u5185\u90E8")), 0, "ChangeFolder");
  scenario_wide_message(run, 0, 0);
  if (api->CreateContact) {
    scenario_expect(run, api->CreateFolder(SCENARIO_W(""), SCENARIO_W("Kontakte"), SCENARIO_W("IPF.Contact")), 0, "contacts");
    scenario_wide_kind(run, api->CreateContact, NULL, SCENARIO_W("Zo\u00EB Contact"), "CreateContact");
  }
  if (api->CreateAppointment) {
    scenario_expect(run, api->CreateFolder(SCENARIO_W(""), SCENARIO_W("Kalender"), SCENARIO_W("IPF.Appointment")), 0,
                    "calendar");
    scenario_wide_kind(run, api->CreateAppointment, NULL, SCENARIO_W("Termin \u00FCber Mittag"), "CreateAppointment");
  }
  if (api->CreateTask) {
    scenario_expect(run, api->CreateFolder(SCENARIO_W(""), SCENARIO_W("Aufgaben"), SCENARIO_W("IPF.Task")), 0, "tasks");
    scenario_wide_kind(run, api->CreateTask, NULL, SCENARIO_W("Aufgabe \u00E4ndern"), "CreateTask");
  }
  if (api->CreateSticky) {
    scenario_expect(run, api->CreateFolder(SCENARIO_W(""), SCENARIO_W("Notizen"), SCENARIO_W("IPF.StickyNote")), 0, "notes");
    scenario_wide_kind(run, NULL, api->CreateSticky, SCENARIO_W("Gelbe Notiz \u270E"), "CreateSticky");
  }
  scenario_expect(run, api->CreateFolder(SCENARIO_W(""), SCENARIO_W("Leer \u00D8"), SCENARIO_W("IPF.Note")), 0, "empty folder");
  scenario_expect(run, api->CommitPst(), 0, "CommitPst");
}

/* ---------------------------------------------------------------- ANSI */

/* The narrow texts below are written as Windows-1252 bytes. A host's narrow
 * strings are in its ANSI code page on Windows (1252 in these runs) and
 * UTF-8 elsewhere, so there they are turned into UTF-8 (they hold only
 * Latin-1 letters, U+00A0..U+00FF); both libraries store them in 1252. */
static const char* scenario_narrow(const char* cp1252) {
#if defined(_WIN32)
  return cp1252;
#else
  static char buffers[8][512];
  static int next = 0;
  char* out = buffers[next];
  const unsigned char* p;
  size_t o = 0;
  next = (next + 1) % 8;
  for (p = (const unsigned char*)cp1252; *p && o + 3 < sizeof buffers[0]; ++p) {
    if (*p < 0x80) {
      out[o++] = (char)*p;
    } else {
      out[o++] = (char)(0xC0 | (*p >> 6));
      out[o++] = (char)(0x80 | (*p & 0x3F));
    }
  }
  out[o] = 0;
  return out;
#endif
}

/* Narrow strings are bound with their code page. */
static void scenario_narrow_times(const scenario_api* api, uint64_t base) {
  vendrel_systemtime delivery;
  memset(&delivery, 0, sizeof delivery);
  delivery.wYear = 2022;
  delivery.wMonth = 12;
  delivery.wDay = 31;
  delivery.wHour = 23;
  delivery.wMinute = 59;
  delivery.wSecond = 58;
  api->Bind_creation_timeA(SCENARIO_LOW(base), SCENARIO_HIGH(base));
  api->Bind_last_modified_timeA(SCENARIO_LOW(base + 600000000ull), SCENARIO_HIGH(base + 600000000ull));
  api->Bind_client_submit_timeA(SCENARIO_LOW(base + 100000000ull), SCENARIO_HIGH(base + 100000000ull));
  api->Bind_delivery_time_sA(delivery);
}

static void scenario_narrow_message(scenario_run* run, const char* subject, uint8_t embedded, uint8_t attach_pending) {
  const scenario_api* api = run->api;
  static const char text[] = "plain text attachment\r\n";
  scenario_pattern(scenario_big, 9000, 11);
  scenario_expect(run, api->Bind_codepageA(1252), 0, "Bind_codepageA");
  scenario_expect(run, api->Bind_subjA(scenario_narrow(subject), 0), 0, "Bind_subjA");
  scenario_expect(run, api->Bind_bodyA(scenario_narrow("Gr\xFC\xDF" "e,\r\ndie Zahlen anbei.\r\nRen\xE9")), 0, "Bind_bodyA");
  scenario_expect(run, api->Bind_senderA("rene@example.org", scenario_narrow("Ren\xE9 Sender"), "SMTP"), 0, "Bind_senderA");
  scenario_expect(run, api->Bind_recipientA("ann@example.org", "Ann Archer", "SMTP", 1, 1), 0, "Bind_recipientA To");
  scenario_expect(run, api->Bind_recipientA("bob@example.org", scenario_narrow("Bj\xF6rn Baker"), "SMTP", 2, 1), 0, "Bind_recipientA Cc");
  scenario_expect(run, api->Bind_attach(text, (int32_t)(sizeof text - 1), "notes.txt", NULL, "text/plain", NULL, 1, 0), 0,
                  "Bind_attach text");
  scenario_expect(run, api->Bind_attach(scenario_big, 9000, "blob.bin", NULL, NULL, NULL, 1, 0), 0, "Bind_attach blob");
  scenario_expect(run, api->Bind_importanceA(0), 0, "Bind_importanceA");
  scenario_expect(run, api->Bind_sensitivityA(2), 0, "Bind_sensitivityA");
  scenario_narrow_times(api, SCENARIO_TIME);
  scenario_expect(run, api->CreateMessageA("IPM.Note", embedded, attach_pending), 0, "CreateMessageA");
}

static void scenario_narrow_kind(scenario_run* run, int32_t (*create)(uint8_t, uint8_t), int32_t (*create_sticky)(uint8_t),
                                 const char* subject, const char* what) {
  const scenario_api* api = run->api;
  scenario_expect(run, api->Bind_codepageA(1252), 0, "Bind_codepageA kind");
  scenario_expect(run, api->Bind_subjA(scenario_narrow(subject), 0), 0, "Bind_subjA kind");
  scenario_expect(run, api->Bind_bodyA(scenario_narrow("Notiz \xFC" "ber das Element.")), 0, "Bind_bodyA kind");
  scenario_narrow_times(api, SCENARIO_TIME + 144000000000ull);
  scenario_expect(run, create ? create(0, 0) : create_sticky(0), 0, what);
}

static void scenario_ansi_store(scenario_run* run, const char* path) {
  const scenario_api* api = run->api;
  scenario_expect(run, api->CreatePstA(path, "Host ANSI"), 0, "CreatePstA");
  scenario_expect(run, api->CreateFolderA("Inbox", scenario_narrow("\xC9t\xE9 2024"), "IPF.Note"), 0, "CreateFolderA");
  scenario_narrow_message(run, "Gr\xFC\xDF" "e aus Z\xFCrich", 0, 0);
  /* An embedded message inside the next one. */
  scenario_narrow_message(run, "Eingebettet", 1, 0);
  scenario_narrow_message(run, "H\xE4lt eine Nachricht", 0, 1);
  scenario_expect(run, api->CreateFolderA(scenario_narrow("Inbox\\\xC9t\xE9 2024"), "Tiefer", "IPF.Note"), 0, "CreateFolderA nested");
  scenario_expect(run, api->ChangeFolderA(scenario_narrow("Archiv\\2023\\M\xE4rz")), 0, "ChangeFolderA");
  scenario_narrow_message(run, "Im Archiv", 0, 0);
  if (api->CreateContactA) {
    scenario_expect(run, api->CreateFolderA("", "Kontakte", "IPF.Contact"), 0, "contacts A");
    scenario_narrow_kind(run, api->CreateContactA, NULL, "Zo\xEB" " Contact", "CreateContactA");
  }
  if (api->CreateAppointmentA) {
    scenario_expect(run, api->CreateFolderA("", "Kalender", "IPF.Appointment"), 0, "calendar A");
    scenario_narrow_kind(run, api->CreateAppointmentA, NULL, "Termin \xFC" "ber Mittag", "CreateAppointmentA");
  }
  if (api->CreateTaskA) {
    scenario_expect(run, api->CreateFolderA("", "Aufgaben", "IPF.Task"), 0, "tasks A");
    scenario_narrow_kind(run, api->CreateTaskA, NULL, "Aufgabe \xE4ndern", "CreateTaskA");
  }
  if (api->CreateStickyA) {
    scenario_expect(run, api->CreateFolderA("", "Notizen", "IPF.StickyNote"), 0, "notes A");
    scenario_narrow_kind(run, NULL, api->CreateStickyA, "Gelbe Notiz", "CreateStickyA");
  }
  scenario_expect(run, api->CommitPstA(), 0, "CommitPstA");
}

/* ---------------------------------------------------------------- deep directory */

static void scenario_long_store(scenario_run* run, const vendrel_wchar* long_folder) {
  const scenario_api* api = run->api;
  vendrel_wchar path[SCENARIO_PATH_CAPACITY];
  scenario_wjoin(path, long_folder, SCENARIO_W("tief \u00FCber MAX_PATH.pst"));
  scenario_expect(run, api->CreatePst(path, SCENARIO_W("Deep")), 0, "CreatePst deep");
  scenario_wide_message(run, 0, 0);
  scenario_expect(run, api->CommitPst(), 0, "CommitPst deep");
}

/* ---------------------------------------------------------------- EML mode */

static void scenario_eml_tree(scenario_run* run, const vendrel_wchar* root) {
  const scenario_api* api = run->api;
  vendrel_wchar path[SCENARIO_PATH_CAPACITY];
  size_t i;
  if (!api->CreateEML || !api->Bind_body_EML) return;
  scenario_expect(run, api->CreateEML(SCENARIO_W("first.eml")), 1, "CreateEML");
  scenario_expect(run, api->CreateFolder(root, SCENARIO_W("Inbox"), SCENARIO_W("IPF.Note")), 0, "EML CreateFolder Inbox");
  scenario_wide_message(run, 0, 0);

  /* A message with a queued embedded one, in a subdirectory. */
  scenario_wjoin(path, root, SCENARIO_W("Inbox"));
  scenario_expect(run, api->CreateFolder(path, SCENARIO_W("\u00C9t\u00E9 \u65E5\u672C"), SCENARIO_W("IPF.Note")), 0,
                  "EML CreateFolder nested");
  scenario_expect(run, api->CreateEML(SCENARIO_W("nested \u00E4.eml")), 1, "CreateEML nested");
  scenario_wide_nested(run);

  /* Contacts make no directory; the other kinds write files of their own. */
  scenario_expect(run, api->CreateFolder(root, SCENARIO_W("Kontakte"), SCENARIO_W("IPF.Contact")), 0, "EML contacts");
  scenario_expect(run, api->CreateFolder(root, SCENARIO_W("Notizen"), SCENARIO_W("IPF.StickyNote")), 0, "EML notes");
  scenario_expect(run, api->CreateEML(SCENARIO_W("item.eml")), 1, "CreateEML item");
  if (api->CreateSticky) scenario_wide_kind(run, NULL, api->CreateSticky, SCENARIO_W("Gelbe Notiz"), "EML CreateSticky");
  if (api->CreateTask) scenario_wide_kind(run, api->CreateTask, NULL, SCENARIO_W("Aufgabe"), "EML CreateTask");
  if (api->CreateAppointment)
    scenario_wide_kind(run, api->CreateAppointment, NULL, SCENARIO_W("Termin"), "EML CreateAppointment");

  /* A directory deeper than 247 characters, made by the library itself. */
  scenario_wjoin(path, root, NULL);
  for (i = 0; i < SCENARIO_LONG_COMPONENTS; ++i) scenario_wjoin(path, path, scenario_long_components[i]);
  scenario_expect(run, api->ChangeFolder(path), 0, "EML ChangeFolder deep");
  scenario_expect(run, api->CreateEML(SCENARIO_W("deep message \u00FC.eml")), 1, "CreateEML deep");
  scenario_wide_message(run, 0, 0);
}

/* The whole run: the three stores, then the EML tree (EML mode stays on for
 * the life of the library, so it comes last). Returns the failure count. */
static int scenario_write_all(const scenario_api* api, const scenario_paths* paths) {
  scenario_run run;
  vendrel_wchar path[SCENARIO_PATH_CAPACITY];
  char narrow[SCENARIO_PATH_CAPACITY];
  run.api = api;
  run.failures = 0;
  scenario_wjoin(path, paths->folder, SCENARIO_W("unicode.pst"));
  scenario_unicode_store(&run, path);
  scenario_join(narrow, paths->narrow_folder, "ansi.pst");
  scenario_ansi_store(&run, narrow);
  scenario_long_store(&run, paths->long_folder);
  scenario_wjoin(path, paths->folder, SCENARIO_W("eml"));
  scenario_eml_tree(&run, path);
  return run.failures;
}

#endif /* VENDREL_WINDOWS_SCENARIO_H */
