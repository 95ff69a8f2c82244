#include "help.h"

#ifndef VENDREL_VERSION
#define VENDREL_VERSION "0"
#endif

namespace vendrel::cli {

namespace {

constexpr const char* general =
    "Usage: vendrel COMMAND [OPTIONS] ARGS\n"
    "\n"
    "Converts mailboxes to a PST file, checks any PST file, lists its folders.\n"
    "\n"
    "Commands:\n"
    "  convert SOURCE... -o OUTPUT.pst   convert .eml files, mbox files, Maildirs and\n"
    "                                    Thunderbird folder trees into a new PST file\n"
    "  check FILE.pst                    check a PST file for damage\n"
    "  ls FILE.pst                       list the folders (and items) of a PST file\n"
    "\n"
    "Options:\n"
    "  -h, --help      show this help, or a command's help: vendrel COMMAND --help\n"
    "  -V, --version   show the version\n"
    "\n"
    "See vendrel(1) for the details.\n";

constexpr const char* convert =
    "Usage: vendrel convert [OPTIONS] SOURCE... -o OUTPUT.pst\n"
    "\n"
    "Converts every message of the SOURCEs into a new PST file. A SOURCE is\n"
    "  - an .eml file (it goes to the Inbox);\n"
    "  - an mbox file (mboxo, mboxrd; Content-Length is honoured where right),\n"
    "    which becomes a folder named after the file without its extension;\n"
    "  - a Maildir (cur/, new/): the Inbox, with its Maildir++ subfolders .A.B as A/B\n"
    "    and the flags of the file names (S read, F flagged, R replied,\n"
    "    P forwarded, T deleted, D draft);\n"
    "  - a directory: each directory of .eml files a folder, mbox files with their\n"
    "    NAME.sbd/ subfolder directories (Thunderbird), Maildirs.\n"
    "Inbox, Sent, Drafts, Trash/Deleted, Junk/Spam, Archive and Outbox at the top\n"
    "become the standard folders of the PST.\n"
    "\n"
    "Options:\n"
    "  -o, --output FILE  the PST file to write (a large one continues in\n"
    "                     \"FILE - 001.pst\" and so on)\n"
    "      --ansi         write the ANSI variant (the default is Unicode)\n"
    "      --name NAME    the store's display name (default: the output's name)\n"
    "      --into PATH    put everything under this folder (A/B for nested ones)\n"
    "      --log FILE     write the library's log to FILE\n"
    "  -q, --quiet        no progress line and no summary; skipped inputs are\n"
    "                     still named on standard error\n"
    "  -h, --help         show this help\n"
    "\n"
    "Exit status: 0 every message converted; 1 finished, but some inputs were\n"
    "skipped (each named in the summary); 2 nothing usable written (bad arguments,\n"
    "unreadable source, write failure); 130 interrupted (Ctrl-C), nothing written.\n";

constexpr const char* check =
    "Usage: vendrel check [OPTIONS] FILE.pst\n"
    "\n"
    "Reads the whole file (either variant, any encoding) and reports what it finds,\n"
    "area by area: header, maps, B-trees, blocks, reference counts, nodes, heaps and\n"
    "tables, folders and messages. An ERROR is damage the mail client may lose data\n"
    "over; a WARN an inconsistency it repairs or ignores.\n"
    "\n"
    "Options:\n"
    "      --json      print the report as JSON\n"
    "  -v, --verbose   every area and every finding, and the file's figures\n"
    "  -h, --help      show this help\n"
    "\n"
    "Exit status: 0 no ERROR; 1 ERRORs found; 2 not readable as a PST file.\n";

constexpr const char* list =
    "Usage: vendrel ls [OPTIONS] FILE.pst\n"
    "\n"
    "Shows the folder tree of a PST file with each folder's item count and\n"
    "container class.\n"
    "\n"
    "Options:\n"
    "  -i, --items   also each item: class, date, sender and subject\n"
    "  -h, --help    show this help\n"
    "\n"
    "Exit status: 0 listed; 1 listed, but some folders or items could not be read;\n"
    "2 not readable as a PST file.\n";

}  // namespace

void print_help(Command topic, std::FILE* out) {
  switch (topic) {
    case Command::convert: std::fputs(convert, out); break;
    case Command::check: std::fputs(check, out); break;
    case Command::list: std::fputs(list, out); break;
    default: std::fputs(general, out); break;
  }
}

void print_version(std::FILE* out) { std::fprintf(out, "vendrel %s\n", VENDREL_VERSION); }

void print_usage_hint(std::FILE* out) { std::fputs("Try 'vendrel --help'.\n", out); }

}  // namespace vendrel::cli
