/* A host program built against an installed vendrel: writes one Unicode PST
 * with a folder and a message (sender, two recipients, an attachment).
 *   consumer OUT.pst SUBJECT
 * Exits 0 when every call succeeded. Built by the install test twice: through
 * find_package(vendrel) and through pkg-config. */
#include <stdio.h>
#include <string.h>

#include <vendrel.h>

/* ASCII to UTF-16 (the test passes ASCII texts). */
static const vendrel_wchar* w(const char* text, vendrel_wchar* buffer, size_t size) {
  size_t i = 0;
  for (; text[i] && i + 1 < size; ++i) buffer[i] = (vendrel_wchar)(unsigned char)text[i];
  buffer[i] = 0;
  return buffer;
}

#define CHECK(call)                                        \
  do {                                                     \
    int32_t result_ = (call);                              \
    if (result_ != 0) {                                    \
      fprintf(stderr, "%s returned %d\n", #call, result_); \
      return 1;                                            \
    }                                                      \
  } while (0)

int main(int argc, char** argv) {
  vendrel_wchar a[512], b[512], c[512];
  static const char attachment[] = "attachment bytes\n";
  if (argc != 3) {
    fprintf(stderr, "usage: consumer OUT.pst SUBJECT\n");
    return 2;
  }
  CHECK(CreatePst(w(argv[1], a, 512), w("Installed consumer", b, 512)));
  CHECK(CreateFolder(w("", a, 512), w("Inbox", b, 512), w("IPF.Note", c, 512)));
  CHECK(Bind_subj(w(argv[2], a, 512), 0));
  CHECK(Bind_body(w("Written by a program built against the installed library.", a, 512)));
  CHECK(Bind_sender(w("alice@example.org", a, 512), w("Alice Sender", b, 512), 0));
  CHECK(Bind_recipient(w("bob@example.org", a, 512), w("Bob To", b, 512), 0, 1, 1));
  CHECK(Bind_recipient(w("carol@example.org", a, 512), w("Carol Cc", b, 512), 0, 2, 1));
  CHECK(Bind_attach(attachment, (int32_t)strlen(attachment), "note.txt", 0, "text/plain", 0, 1, 0));
  CHECK(CreateMessage(w("IPM.Note", a, 512), 0, 0));
  CHECK(CommitPst());
  return 0;
}
