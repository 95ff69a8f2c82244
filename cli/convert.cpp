#include "convert.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <system_error>

#include "folder_map.h"
#include "interrupt.h"
#include "message_info.h"
#include "output_files.h"
#include "progress.h"
#include "sources.h"
#include "summary.h"
#include "text.h"
#include "vendrel.h"

namespace vendrel::cli {

namespace fs = std::filesystem;

namespace {

// Message flags (PidTagMessageFlags) and the properties of a message's
// state beside them ([MS-OXPROPS], [MS-OXOFLAG]).
constexpr uint32_t msgflag_read = 0x1;
constexpr uint32_t msgflag_unsent = 0x8;
constexpr uint32_t tag_message_status = 0x0E170003;      // PidTagMessageStatus
constexpr uint32_t msgstatus_delmarked = 0x8;            // marked for deletion
constexpr uint32_t tag_flag_status = 0x10900003;         // PidTagFlagStatus
constexpr uint32_t flag_status_flagged = 2;              // followupFlagged
constexpr uint32_t tag_follow_up_icon = 0x10950003;      // PidTagFollowupIcon
constexpr uint32_t follow_up_icon_red = 6;
constexpr uint32_t tag_last_verb_executed = 0x10810003;  // PidTagLastVerbExecuted
constexpr uint32_t verb_reply_to_sender = 102;
constexpr uint32_t verb_forward = 104;
constexpr uint32_t tag_icon_index = 0x10800003;          // PidTagIconIndex
constexpr uint32_t icon_replied = 0x105;
constexpr uint32_t icon_forwarded = 0x106;
constexpr uint32_t tag_delivery_time = 0x0E060040;
constexpr uint32_t tag_client_submit_time = 0x00390040;
constexpr uint32_t tag_creation_time = 0x30070040;
constexpr uint32_t tag_last_modification_time = 0x30080040;

// The library takes strings of up to 1 MiB; longer header blocks are cut.
constexpr size_t max_header_units = 512 * 1024;

const vendrel_wchar* w(const std::u16string& text) { return reinterpret_cast<const vendrel_wchar*>(text.c_str()); }

void bind_u32(uint32_t tag, uint32_t value) {
  const unsigned char bytes[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                  static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  BindTaggedProp(tag, bytes, 4);
}

void bind_time(uint32_t tag, uint64_t filetime) {
  unsigned char bytes[8];
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<unsigned char>(filetime >> (8 * i));
  BindTaggedProp(tag, bytes, 8);
}

class Job final : public MessageSink {
 public:
  Job(const ConvertOptions& options, OutputFiles& files, ProgressLine& progress, Summary& summary)
      : options_(options), files_(files), progress_(progress), summary_(summary) {
    into_ = split_into(options.into);
  }

  static FolderPath split_into(const std::string& into) {
    FolderPath path;
    std::string component;
    for (char c : into + "/") {
      if (c == '/' || c == '\\') {
        if (!component.empty()) path.push_back(folder_component(component));
        component.clear();
      } else {
        component.push_back(c);
      }
    }
    return path;
  }

  const FolderPath& base() const { return into_; }

  void enter_folder(const FolderPath& requested) override {
    if (failed_) return;
    FolderPath path = requested;
    role_ = FolderRole::none;
    std::string container_class = mail_container_class;
    if (path.size() >= 1 && into_.empty()) {
      const StandardFolder standard = standard_folder(path[0]);
      if (standard.role != FolderRole::none) {
        path[0] = standard.name;
        container_class = standard.container_class;
        role_ = standard.role;
      }
    }
    if (path.empty()) path.push_back("Inbox");
    std::u16string library_path;
    for (size_t i = 0; i < path.size(); ++i) {
      if (i) library_path += u"\\";
      library_path += utf16(path[i]);
    }
    current_ = display_path(path);
    if (entered_.insert(current_).second) ++summary_.folders;
    int32_t result = 0;
    if (CheckFolder(w(library_path)) == 1) {
      result = ChangeFolder(w(library_path));
    } else {
      std::u16string parent;
      for (size_t i = 0; i + 1 < path.size(); ++i) {
        if (i) parent += u"\\";
        parent += utf16(path[i]);
      }
      result = CreateFolder(w(parent), w(utf16(path.back())), w(utf16(container_class)));
    }
    if (result != 0) fail("cannot make the folder " + current_ + " in the store (" + std::to_string(result) + ")");
  }

  void message(MessageInput& m) override {
    if (stopping()) return;
    // A message saved with its mbox "From " line: the line is no header.
    if (m.text.rfind("From ", 0) == 0) {
      const size_t end = m.text.find('\n');
      if (end != std::string::npos && starts_with_header(std::string_view(m.text).substr(end + 1))) {
        m.text.erase(0, end + 1);
        m.whole_file = false;
      }
    }
    if (!starts_with_header(m.text)) {
      skipped(m.where, "no header fields: not a message");
      return;
    }
    const std::string headers = header_block(m.text);
    BClear();
    MessageState state;
    if (m.state) state = *m.state;
    else if (auto from_headers = state_from_headers(headers)) state = *from_headers;
    else state.read = m.read_when_unknown;
    if (role_ == FolderRole::sent) state.read = true;
    uint32_t flags = state.read ? msgflag_read : 0;
    if (state.draft || role_ == FolderRole::drafts) flags |= msgflag_unsent;
    Bind_flags(flags);
    {
      std::u16string text = utf16(utf8_or_latin1(headers));
      if (text.size() > max_header_units) text.resize(max_header_units);
      Bind_message_headers(w(text));
    }
    if (state.flagged) {
      bind_u32(tag_flag_status, flag_status_flagged);
      bind_u32(tag_follow_up_icon, follow_up_icon_red);
    }
    if (state.replied || state.forwarded) {
      bind_u32(tag_last_verb_executed, state.replied ? verb_reply_to_sender : verb_forward);
      bind_u32(tag_icon_index, state.replied ? icon_replied : icon_forwarded);
    }
    if (state.deleted) bind_u32(tag_message_status, msgstatus_delmarked);
    if (m.fallback_time && !header_value(headers, "Date")) {
      for (uint32_t tag : {tag_delivery_time, tag_client_submit_time, tag_creation_time, tag_last_modification_time})
        bind_time(tag, *m.fallback_time);
    }
    fs::path file = m.where.file;
    if (!m.whole_file) {
      // A new file each time: rewriting a truncated one makes some file
      // systems (ext4's auto_da_alloc) start writing it out at every close.
      file = files_.message_file(scratch_number_++);
      std::ofstream out(file, std::ios::binary);
      out.write(m.text.data(), static_cast<std::streamsize>(m.text.size()));
      out.close();
      if (!out) {
        fail("cannot write the scratch file " + path_utf8(file));
        return;
      }
    }
    const int32_t result = Bind_EML(w(path_utf16(file)));
    if (!m.whole_file) {
      std::error_code ec;
      fs::remove(file, ec);
    }
    bytes_done_ += m.text.size();
    if (result == 1) {
      ++summary_.messages;
      summary_.attachments += count_attachments(m.text);
      summary_.bytes += m.text.size();
      failures_in_a_row_ = 0;
    } else {
      BClear();
      skipped(m.where, "the library did not import it (--log FILE shows why)");
      // The import reads whatever it is given: failure after failure, or a
      // full disk, is the store failing, not the messages.
      std::error_code ec;
      const fs::space_info space = fs::space(files_.work_directory(), ec);
      if (!ec && space.available < (1u << 20))
        fail("the disk is full (" + byte_size(space.available) + " free)");
      else if (++failures_in_a_row_ >= 3)
        fail("the store cannot be written: " + std::to_string(failures_in_a_row_) + " messages in a row failed");
    }
    progress_.update(summary_.messages, bytes_done_, current_);
  }

  void skipped(const SourceLocation& where, const std::string& reason) override {
    ++summary_.skipped_count;
    if (summary_.skipped.size() < listed_skips) summary_.skipped.push_back({where, reason});
    if (options_.quiet) {
      progress_.finish();
      std::fprintf(stderr, "vendrel: skipped %s: %s\n", describe(where).c_str(), reason.c_str());
    }
  }

  bool stopping() const override { return failed_ || interrupted(); }

  bool failed() const { return failed_; }
  const std::string& failure() const { return failure_; }

 private:
  void fail(const std::string& why) {
    if (failed_) return;
    failed_ = true;
    failure_ = why;
  }

  const ConvertOptions& options_;
  OutputFiles& files_;
  ProgressLine& progress_;
  Summary& summary_;
  FolderPath into_;
  FolderRole role_ = FolderRole::none;
  std::string current_;
  std::set<std::string> entered_;
  uint64_t bytes_done_ = 0;
  int failures_in_a_row_ = 0;
  uint64_t scratch_number_ = 0;
  bool failed_ = false;
  std::string failure_;
};

void error(const std::string& text) { std::fprintf(stderr, "vendrel: %s\n", text.c_str()); }

fs::path absolute_path(const fs::path& path) {
  std::error_code ec;
  fs::path out = fs::absolute(path, ec).lexically_normal();
  if (ec) out = path;
  if (out.filename().empty() && out.has_parent_path()) out = out.parent_path();
  return out;
}

// Closes the library's store so that its files can go (Windows keeps an
// open file from being deleted).
void abandon(OutputFiles& files) {
  files.discard();
  std::error_code ec;
  if (fs::exists(files.work_directory(), ec)) {
    CommitPst();
    files.discard();
  }
}

}  // namespace

int run_convert(const ConvertOptions& given) {
  ConvertOptions options = given;
  const auto start = std::chrono::steady_clock::now();
  install_interrupt_handler();
  for (fs::path& source : options.sources) source = absolute_path(source);
  options.output = absolute_path(options.output);
  if (options.log) options.log = absolute_path(*options.log);

  // Every source is looked at before anything is written.
  std::vector<Source> sources;
  for (const fs::path& path : options.sources) {
    std::string reason;
    std::optional<Source> source = recognise_source(path, reason);
    if (!source) {
      error(path_utf8(path) + ": " + reason);
      return exit_failed;
    }
    sources.push_back(*source);
  }
  {
    std::error_code ec;
    if (fs::is_directory(options.output, ec)) {
      error(path_utf8(options.output) + " is a directory; -o names the PST file to write");
      return exit_failed;
    }
    if (!fs::is_directory(options.output.parent_path(), ec)) {
      error("the directory of " + path_utf8(options.output) + " does not exist");
      return exit_failed;
    }
  }

  OutputFiles files(options.output);
  std::string problem;
  if (!files.prepare(problem)) {
    error(problem);
    return exit_failed;
  }
  if (options.log) {
    // The narrow call takes the system's code page: the file is made first,
    // so that Windows can give a short form of a path outside it.
    { std::ofstream touch(*options.log, std::ios::app); }
    if (const std::optional<std::string> narrow = existing_path_narrow(*options.log))
      SetLogFile(narrow->c_str());
    else
      error("the log file's path cannot be given to the library on this system; no log is written");
  }

  std::string display_name = options.name ? *options.name : path_utf8(options.output.stem());
  int32_t created = 0;
  if (options.ansi) {
    // The narrow call takes the system's code page: a plain name in the
    // work directory reaches it whatever the output's path holds.
    std::error_code ec;
    const fs::path previous = fs::current_path(ec);
    fs::current_path(files.work_directory(), ec);
    created = ec ? -5 : CreatePstA("out.pst", narrow_text(display_name).c_str());
    fs::current_path(previous, ec);
  } else {
    created = CreatePst(reinterpret_cast<const vendrel_wchar*>(path_utf16(files.store_file()).c_str()),
                        reinterpret_cast<const vendrel_wchar*>(utf16(display_name).c_str()));
  }
  if (created != 0) {
    error("cannot create " + path_utf8(options.output) + " (the library returned " + std::to_string(created) +
          "); nothing was written");
    abandon(files);
    return exit_failed;
  }

  const bool show_progress = !options.quiet && stderr_is_terminal();
  SourceTotals totals;
  if (show_progress)
    for (const Source& source : sources) add_totals(source, totals);
  ProgressLine progress(show_progress, totals.bytes, totals.messages, totals.messages_known);
  Summary summary;
  Job job(options, files, progress, summary);
  for (const Source& source : sources) {
    if (job.stopping()) break;
    read_source(source, job.base(), job);
  }
  progress.finish();

  if (interrupted()) {
    abandon(files);
    error("interrupted: nothing was written (" + grouped(summary.messages) + " messages had been converted)");
    return exit_interrupted;
  }
  if (job.failed()) {
    abandon(files);
    error(job.failure() + "; nothing was written");
    return exit_failed;
  }
  const int32_t committed = options.ansi ? CommitPstA() : CommitPst();
  if (committed != 0) {
    files.discard();
    error("cannot write " + path_utf8(options.output) + " (the library returned " + std::to_string(committed) +
          "); nothing was written");
    return exit_failed;
  }
  std::vector<fs::path> written;
  if (!files.publish(written, problem)) {
    error(problem);
    return exit_failed;
  }
  files.discard();
  summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  for (const fs::path& file : written) {
    std::error_code ec;
    summary.written.push_back({file, fs::file_size(file, ec)});
  }
  if (!options.quiet) print_summary(summary, stdout);
  return summary.skipped_count == 0 ? exit_ok : exit_skipped;
}

}  // namespace vendrel::cli
