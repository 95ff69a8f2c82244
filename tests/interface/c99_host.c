/* A plain C99 host: it includes only the public header, links the shared
 * library and drives the binding calls through it, as an application would.
 * Exits non-zero on the first unexpected result. */
#include <stdio.h>
#include <string.h>

#include "vendrel.h"

static int failures = 0;

static void expect(int32_t actual, int32_t expected, const char* what) {
  if (actual != expected) {
    fprintf(stderr, "%s: got %d, expected %d\n", what, (int)actual, (int)expected);
    ++failures;
  }
}

int main(int argc, char** argv) {
  static const vendrel_wchar subject[] = {'H', 'i', 0};
  static const vendrel_wchar email[] = {'a', '@', 'b', '.', 'c', 0};
  vendrel_systemtime t;
  const char payload[] = "attachment bytes";
  uint32_t value = 42;
  FILE* log;
  char line[256];
  int found = 0;

  if (argc > 1) SetLogFile(argv[1]);
  memset(&t, 0, sizeof t);
  t.wYear = 2024; t.wMonth = 2; t.wDay = 29; t.wHour = 12;

  expect(Bind_codepage(1252), 0, "Bind_codepage");
  expect(Bind_subj(subject, 0), 0, "Bind_subj");
  expect(Bind_subjA("RE: hello", 4), 0, "Bind_subjA");
  expect(Bind_bodyA("body"), 0, "Bind_bodyA");
  expect(Bind_body(NULL), -2, "Bind_body(NULL)");
  expect(Bind_creation_time(0x2A2A2A2Au, 0x2A2A2A2Au), 0, "Bind_creation_time");
  expect(Bind_delivery_time_s(t), 0, "Bind_delivery_time_s");
  expect(Bind_sender(email, NULL, NULL), 0, "Bind_sender");
  expect(Bind_recipientA("x@y.z", "X", "SMTP", 1, 0), 0, "Bind_recipientA");
  expect(Bind_attach(payload, (int32_t)sizeof payload, "a.txt", NULL, "text/plain", NULL, 1, 0), 0, "Bind_attach");
  expect(BindTaggedProp(0x00170003u, &value, sizeof value), 0, "BindTaggedProp");
  expect(BindLiteralProp("L3FDE", &value, sizeof value), 0, "BindLiteralProp");
  expect(BindLiteralProp("X0037", &value, sizeof value), -1, "BindLiteralProp bad letter");
  expect(BClear(), 0, "BClear");
  expect(BClearA(), 0, "BClearA");

  if (argc > 1) {
    log = fopen(argv[1], "r");
    if (!log) {
      fprintf(stderr, "no log file written\n");
      return 1;
    }
    while (fgets(line, sizeof line, log))
      if (strcmp(line, "[PST] deleting attach [a.txt]\n") == 0) found = 1;
    fclose(log);
    if (!found) {
      fprintf(stderr, "the log lacks the attachment line of BClear\n");
      ++failures;
    }
  }
  return failures == 0 ? 0 : 1;
}
