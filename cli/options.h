// The command line: `vendrel COMMAND [options] ARGS`, parsed into one
// options record per command. Options may come before, between and after
// the arguments; "--" ends them; "--opt=value" and "--opt value" both work.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vendrel::cli {

struct ConvertOptions {
  std::vector<std::filesystem::path> sources;
  std::filesystem::path output;
  bool ansi = false;
  std::optional<std::string> name;  // UTF-8
  std::string into;                 // "A/B", UTF-8; empty for the top
  std::optional<std::filesystem::path> log;
  bool quiet = false;
};

struct CheckOptions {
  std::filesystem::path file;
  bool json = false;
  bool verbose = false;
};

struct ListOptions {
  std::filesystem::path file;
  bool items = false;
};

enum class Command { none, help, version, convert, check, list };

struct CommandLine {
  Command command = Command::none;
  Command help_for = Command::none;  // `vendrel help convert`, `vendrel convert --help`
  ConvertOptions convert;
  CheckOptions check;
  ListOptions list;
};

// Parses the arguments after the program name (UTF-8). Returns false with
// `error` set when they are wrong.
bool parse_command_line(const std::vector<std::string>& args, CommandLine& out, std::string& error);

}  // namespace vendrel::cli
