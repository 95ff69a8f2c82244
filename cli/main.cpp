// vendrel: converts mailboxes to PST files, checks and lists PST files.
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "commands.h"
#include "convert.h"
#include "help.h"
#include "options.h"
#include "text.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>
#endif

using namespace vendrel::cli;

namespace {

// The arguments as UTF-8: on Windows from the wide command line, so that
// any file name comes through whatever the code page.
std::vector<std::string> arguments(int argc, char** argv) {
  std::vector<std::string> out;
#ifdef _WIN32
  int count = 0;
  if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
    for (int i = 1; i < count; ++i) {
      const std::wstring arg(wide[i]);
      out.push_back(utf8(std::u16string(arg.begin(), arg.end())));
    }
    LocalFree(wide);
    return out;
  }
#endif
  for (int i = 1; i < argc; ++i) out.emplace_back(argv[i]);
  return out;
}

int run(const std::vector<std::string>& args) {
  CommandLine line;
  std::string error;
  if (!parse_command_line(args, line, error)) {
    std::fprintf(stderr, "vendrel: %s\n", error.c_str());
    print_usage_hint(stderr);
    return 2;
  }
  switch (line.command) {
    case Command::help: print_help(line.help_for, stdout); return 0;
    case Command::version: print_version(stdout); return 0;
    case Command::convert: return run_convert(line.convert);
    case Command::check: return run_check(line.check);
    case Command::list: return run_list(line.list);
    default: print_help(Command::none, stderr); return 2;
  }
}

}  // namespace

int main(int argc, char** argv) {
  init_console();
  try {
    return run(arguments(argc, argv));
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "vendrel: out of memory\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vendrel: %s\n", e.what());
  }
  return 2;
}
