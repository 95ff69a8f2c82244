/* Binds the fields of one e-mail message the way a host does before it
 * creates the item, with the library's log written to the file named on the
 * command line (default "vendrel-example.log"). */
#include <stdio.h>

#include "vendrel.h"

int main(int argc, char** argv) {
  const char* log_path = argc > 1 ? argv[1] : "vendrel-example.log";
  static const char report[] = "Quarterly figures\n";
  int32_t status = 0;

  SetLogFile(log_path);
  status |= Bind_codepageA(1252);
  status |= Bind_subjA("RE: Quarterly figures", 4);
  status |= Bind_bodyA("Please find the figures attached.");
  status |= Bind_senderA("alice@example.com", "Alice Example", "SMTP");
  status |= Bind_recipientA("bob@example.com", "Bob Example", "SMTP", 1, 0);
  status |= Bind_attach(report, (int32_t)(sizeof report - 1), "figures.txt", NULL, "text/plain", NULL, 1, 0);
  status |= BClearA();
  status |= BClear();

  printf("bound and cleared one message: %s; log in %s\n", status == 0 ? "ok" : "failed", log_path);
  return status == 0 ? 0 : 1;
}
