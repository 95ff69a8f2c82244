#include "options.h"

#include "text.h"

namespace vendrel::cli {

namespace {

std::optional<Command> command_named(const std::string& name) {
  if (name == "convert") return Command::convert;
  if (name == "check") return Command::check;
  if (name == "ls" || name == "list") return Command::list;
  if (name == "help") return Command::help;
  return std::nullopt;
}

// Walks the arguments after the command: options through `option`,
// operands into `operands`.
class ArgumentWalk {
 public:
  ArgumentWalk(const std::vector<std::string>& args, size_t first) : args_(args), i_(first) {}

  // The next option's name (without its value) or operand; false at the end.
  bool next(std::string& item, bool& is_option) {
    if (i_ >= args_.size()) return false;
    const std::string& arg = args_[i_++];
    inline_value_.reset();
    if (!options_done_ && arg == "--") {
      options_done_ = true;
      return next(item, is_option);
    }
    if (!options_done_ && arg.size() > 1 && arg[0] == '-') {
      is_option = true;
      const size_t equals = arg.find('=');
      if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
        item = arg.substr(0, equals);
        inline_value_ = arg.substr(equals + 1);
      } else {
        item = arg;
      }
      return true;
    }
    is_option = false;
    item = arg;
    return true;
  }

  bool value(const std::string& option, std::string& out, std::string& error) {
    if (inline_value_) {
      out = *inline_value_;
      return true;
    }
    if (i_ >= args_.size()) {
      error = "option " + option + " needs a value";
      return false;
    }
    out = args_[i_++];
    return true;
  }

  bool had_inline_value() const { return inline_value_.has_value(); }

 private:
  const std::vector<std::string>& args_;
  size_t i_;
  bool options_done_ = false;
  std::optional<std::string> inline_value_;
};

bool parse_convert(ArgumentWalk& walk, CommandLine& out, std::string& error) {
  ConvertOptions& o = out.convert;
  std::string item, value;
  bool is_option = false;
  bool have_output = false;
  while (walk.next(item, is_option)) {
    if (!is_option) {
      o.sources.push_back(path_from_utf8(item));
      continue;
    }
    if (item == "-h" || item == "--help") {
      out.command = Command::help;
      out.help_for = Command::convert;
      return true;
    } else if (item == "-o" || item == "--output") {
      if (!walk.value(item, value, error)) return false;
      if (have_output) {
        error = "only one output file (-o) can be given";
        return false;
      }
      o.output = path_from_utf8(value);
      have_output = true;
    } else if (item == "--ansi") {
      o.ansi = true;
    } else if (item == "--unicode") {
      o.ansi = false;
    } else if (item == "--name") {
      if (!walk.value(item, value, error)) return false;
      o.name = value;
    } else if (item == "--into") {
      if (!walk.value(item, value, error)) return false;
      o.into = value;
    } else if (item == "--log") {
      if (!walk.value(item, value, error)) return false;
      o.log = path_from_utf8(value);
    } else if (item == "-q" || item == "--quiet") {
      o.quiet = true;
    } else {
      error = "unknown option " + item + " for convert";
      return false;
    }
    if (walk.had_inline_value() && (item == "--ansi" || item == "--unicode" || item == "-q" || item == "--quiet")) {
      error = "option " + item + " takes no value";
      return false;
    }
  }
  if (o.sources.empty()) {
    error = "convert needs at least one SOURCE";
    return false;
  }
  if (!have_output || o.output.empty()) {
    error = "convert needs an output file: -o OUTPUT.pst";
    return false;
  }
  return true;
}

// check and ls: one FILE and switches.
bool parse_file_command(ArgumentWalk& walk, CommandLine& out, Command command, std::string& error) {
  std::string item;
  bool is_option = false;
  std::optional<std::filesystem::path> file;
  const char* name = command == Command::check ? "check" : "ls";
  while (walk.next(item, is_option)) {
    if (!is_option) {
      if (file) {
        error = std::string(name) + " takes one FILE";
        return false;
      }
      file = path_from_utf8(item);
      continue;
    }
    if (item == "-h" || item == "--help") {
      out.command = Command::help;
      out.help_for = command;
      return true;
    }
    if (command == Command::check && item == "--json") {
      out.check.json = true;
    } else if (command == Command::check && (item == "-v" || item == "--verbose")) {
      out.check.verbose = true;
    } else if (command == Command::list && (item == "-i" || item == "--items")) {
      out.list.items = true;
    } else {
      error = "unknown option " + item + " for " + name;
      return false;
    }
  }
  if (!file) {
    error = std::string(name) + " needs a FILE.pst";
    return false;
  }
  if (command == Command::check) out.check.file = *file;
  else out.list.file = *file;
  return true;
}

}  // namespace

bool parse_command_line(const std::vector<std::string>& args, CommandLine& out, std::string& error) {
  out = CommandLine{};
  if (args.empty()) {
    out.command = Command::help;
    return true;
  }
  const std::string& first = args[0];
  if (first == "-h" || first == "--help") {
    out.command = Command::help;
    return true;
  }
  if (first == "-V" || first == "--version") {
    out.command = Command::version;
    return true;
  }
  const std::optional<Command> command = command_named(first);
  if (!command) {
    error = first.rfind("-", 0) == 0 ? "unknown option " + first : "unknown command " + first;
    return false;
  }
  out.command = *command;
  ArgumentWalk walk(args, 1);
  switch (*command) {
    case Command::help: {
      out.help_for = Command::none;
      if (args.size() > 1) {
        const std::optional<Command> topic = command_named(args[1]);
        if (!topic || *topic == Command::help) {
          error = "no help on " + args[1];
          return false;
        }
        out.help_for = *topic;
      }
      return true;
    }
    case Command::convert: return parse_convert(walk, out, error);
    case Command::check:
    case Command::list: return parse_file_command(walk, out, *command, error);
    default: return false;
  }
}

}  // namespace vendrel::cli
