// `vendrel check`: the checker's findings, area by area.
#include <cstdio>
#include <string>

#include "check/pst_check.h"
#include "commands.h"
#include "text.h"

namespace vendrel::cli {

namespace {

constexpr check_area areas[] = {check_area::header,           check_area::maps,   check_area::btrees,
                                check_area::blocks,           check_area::reference_counts,
                                check_area::nodes,            check_area::heaps_tables,
                                check_area::folders_messages};

// Findings shown per area unless --verbose.
constexpr size_t shown_per_area = 20;

const char* encoding_name(uint8_t encoding) {
  switch (encoding) {
    case 0: return "none";
    case 1: return "permute";
    case 2: return "cyclic";
    default: return "unknown";
  }
}

std::string location(const check_finding& f) {
  std::string out;
  char text[64];
  if (f.offset) {
    std::snprintf(text, sizeof text, "offset 0x%llX", static_cast<unsigned long long>(f.offset));
    out += text;
  }
  if (f.bid) {
    std::snprintf(text, sizeof text, "%sBID 0x%llX", out.empty() ? "" : ", ", static_cast<unsigned long long>(f.bid));
    out += text;
  }
  if (f.nid) {
    std::snprintf(text, sizeof text, "%sNID 0x%X", out.empty() ? "" : ", ", f.nid);
    out += text;
  }
  return out;
}

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (u < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", u);
      out += escape;
    } else {
      out.push_back(c);
    }
  }
  return out + "\"";
}

void print_json(const CheckOptions& options, const check_report& r) {
  std::printf("{\n  \"file\": %s,\n  \"readable\": %s,\n", json_string(path_utf8(options.file)).c_str(),
              r.readable ? "true" : "false");
  if (!r.readable) std::printf("  \"reason\": %s,\n", json_string(utf8_or_latin1(r.unreadable_reason)).c_str());
  std::printf("  \"variant\": \"%s\",\n  \"encoding\": \"%s\",\n  \"size\": %llu,\n", r.unicode ? "unicode" : "ansi",
              encoding_name(r.encoding), static_cast<unsigned long long>(r.file_size));
  std::printf("  \"pages\": %llu,\n  \"blocks\": %llu,\n  \"nodes\": %llu,\n  \"folders\": %llu,\n  \"messages\": %llu,\n",
              static_cast<unsigned long long>(r.pages), static_cast<unsigned long long>(r.blocks),
              static_cast<unsigned long long>(r.nodes), static_cast<unsigned long long>(r.folders),
              static_cast<unsigned long long>(r.messages));
  std::printf("  \"errors\": %zu,\n  \"warnings\": %zu,\n  \"findings\": [", r.count(check_severity::error),
              r.count(check_severity::warn));
  bool first = true;
  for (const check_finding& f : r.findings) {
    std::printf("%s\n    {\"severity\": \"%s\", \"area\": \"%s\", \"offset\": %llu, \"bid\": %llu, \"nid\": %u, \"message\": %s}",
                first ? "" : ",", to_string(f.severity), to_string(f.area), static_cast<unsigned long long>(f.offset),
                static_cast<unsigned long long>(f.bid), f.nid, json_string(utf8_or_latin1(f.message)).c_str());
    first = false;
  }
  std::printf("%s]\n}\n", first ? "" : "\n  ");
}

void print_text(const CheckOptions& options, const check_report& r) {
  const std::string file = path_utf8(options.file);
  if (!r.readable) {
    std::printf("%s: not readable as a PST file: %s\n", file.c_str(), utf8_or_latin1(r.unreadable_reason).c_str());
    return;
  }
  std::printf("%s: %s, encoding %s, %s\n", file.c_str(), r.unicode ? "Unicode" : "ANSI", encoding_name(r.encoding),
              byte_size(r.file_size).c_str());
  if (options.verbose)
    std::printf("  %s pages, %s blocks, %s nodes, %s folders, %s messages\n", grouped(r.pages).c_str(),
                grouped(r.blocks).c_str(), grouped(r.nodes).c_str(), grouped(r.folders).c_str(),
                grouped(r.messages).c_str());
  for (check_area area : areas) {
    size_t errors = 0, warnings = 0;
    for (const check_finding& f : r.findings)
      if (f.area == area) ++(f.severity == check_severity::error ? errors : warnings);
    if (!errors && !warnings) {
      if (options.verbose) std::printf("%s: ok\n", to_string(area));
      continue;
    }
    std::printf("%s: %zu ERROR, %zu WARN\n", to_string(area), errors, warnings);
    size_t shown = 0, left = 0;
    for (check_severity severity : {check_severity::error, check_severity::warn}) {
      for (const check_finding& f : r.findings) {
        if (f.area != area || f.severity != severity) continue;
        if (!options.verbose && shown >= shown_per_area) {
          ++left;
          continue;
        }
        const std::string where = location(f);
        std::printf("  %-5s %s%s%s\n", to_string(f.severity), where.empty() ? "" : (where + ": ").c_str(),
                    utf8_or_latin1(f.message).c_str(), "");
        ++shown;
      }
    }
    if (left) std::printf("  ... and %zu more (--verbose shows them)\n", left);
  }
  const size_t errors = r.count(check_severity::error), warnings = r.count(check_severity::warn);
  if (!errors && !warnings) std::printf("No findings.\n");
  else std::printf("%zu ERROR, %zu WARN\n", errors, warnings);
}

}  // namespace

int run_check(const CheckOptions& options) {
  const check_report report = check_pst(path_utf16(options.file));
  if (options.json) print_json(options, report);
  else print_text(options, report);
  std::fflush(stdout);
  if (!report.readable) return 2;
  return report.count(check_severity::error) ? 1 : 0;
}

}  // namespace vendrel::cli
