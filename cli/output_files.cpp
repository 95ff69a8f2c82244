#include "output_files.h"

#include <algorithm>
#include <system_error>

#include "text.h"

#ifdef _WIN32
#include <process.h>
#define vendrel_getpid _getpid
#else
#include <unistd.h>
#define vendrel_getpid getpid
#endif

namespace vendrel::cli {

namespace fs = std::filesystem;

OutputFiles::OutputFiles(fs::path output) : output_(std::move(output)) {
  std::string hidden = ".";
  hidden += path_utf8(output_.filename());
  hidden += ".vendrel-";
  hidden += std::to_string(vendrel_getpid());
  work_ = output_.parent_path() / path_from_utf8(hidden);
}

OutputFiles::~OutputFiles() { discard(); }

bool OutputFiles::prepare(std::string& error) {
  std::error_code ec;
  fs::remove_all(work_, ec);
  if (!fs::create_directory(work_, ec)) {
    error = "cannot make a work directory beside " + path_utf8(output_) + ": " + ec.message();
    return false;
  }
  made_ = true;
  return true;
}

bool OutputFiles::publish(std::vector<fs::path>& written, std::string& error) {
  // The series: out.pst, "out - 001.pst", "out - 002.pst" ...
  std::vector<std::pair<int, fs::path>> series;
  std::error_code ec;
  for (fs::directory_iterator it(work_, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = path_utf8(it->path().filename());
    if (name == "out.pst") {
      series.emplace_back(0, it->path());
    } else if (name.size() == 13 && name.rfind("out - ", 0) == 0 && name.substr(9) == ".pst") {
      series.emplace_back(std::atoi(name.substr(6, 3).c_str()), it->path());
    }
  }
  std::sort(series.begin(), series.end());
  if (series.empty() || series.front().first != 0) {
    error = "the store's file is missing from " + path_utf8(work_);
    return false;
  }
  std::string base = path_utf8(output_.filename());
  if (iends_with(base, ".pst")) base.resize(base.size() - 4);
  for (const auto& [number, file] : series) {
    fs::path target = output_;
    if (number > 0) {
      char suffix[32];
      std::snprintf(suffix, sizeof suffix, " - %03d.pst", number);
      target = output_.parent_path() / path_from_utf8(base + suffix);
    }
    fs::rename(file, target, ec);
    if (ec) {
      error = "cannot move the finished file to " + path_utf8(target) + ": " + ec.message();
      return false;
    }
    written.push_back(target);
  }
  return true;
}

void OutputFiles::discard() {
  if (!made_) return;
  std::error_code ec;
  fs::remove_all(work_, ec);
  made_ = ec.operator bool();
}

}  // namespace vendrel::cli
