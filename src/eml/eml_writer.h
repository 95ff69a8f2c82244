// The EML writer context: the message being written, the embedded messages
// queued for the next written one, and the counters of the file names; and
// the writing of one .eml file into the EML directory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "eml/eml_record.h"

namespace vendrel {

struct EmlWriterContext {
  EmlMessageRecord message;
  std::vector<EmlMessageRecord> queued_parts;
  int32_t unknown_message_count = 0;
  int32_t shortening_count = 0;
  uint32_t output_size = 0;
};

// The library-wide instance.
EmlWriterContext& eml_writer();

// Longest file name written as it is, and what a longer one keeps.
inline constexpr size_t eml_max_file_name = 255;
inline constexpr size_t eml_shortened_keep = 240;
// Paths longer than this take the extended-length prefix "\\?\".
inline constexpr size_t eml_path_prefix_threshold = 259;

// A file name of at most 255 characters: a longer one keeps its first 240
// characters with "(...)" after the 120th, then "_", the shortening counter
// and ".eml" (the counter goes up). Surrogate pairs are never cut.
std::u16string eml_file_name(std::u16string_view name, int32_t& shortening_count);

// Directory, "\" unless it is empty or ends with one, the name; with the
// extended-length prefix when longer than 259 characters.
std::u16string eml_file_path(std::u16string_view directory, std::u16string_view name);

// "%d_Sticky_%s", "%d_Appointment_%s", "%d_Task_%s".
std::u16string eml_item_file_name(std::u16string_view kind, int32_t number, std::u16string_view name);

// Composes `record` and writes it as directory\name. When the file cannot be
// created, writes it as "Unknown_message_<n>.eml" in the same directory (the
// counter goes up each time). True when a file was written.
bool write_eml_message(EmlWriterContext& context, const EmlMessageRecord& record, std::u16string_view directory,
                       std::u16string_view file_name);

}  // namespace vendrel
