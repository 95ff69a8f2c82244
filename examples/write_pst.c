/* Writes two personal folder files through the public header: a Unicode
 * file (CreatePst) and an ANSI file (CreatePstA), each with a small tree of
 * nested folders, and checks the tree with CheckFolder before committing.
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
