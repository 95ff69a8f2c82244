// What the program reads from a message's text itself, beside the import:
// the header block (kept as the transport headers), the status headers that
// mbox writers add, whether it has a Date, and how many attachments and
// nested messages its MIME structure holds (for the summary).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "message_input.h"

namespace vendrel::cli {

// True when the text begins with a header field ("Name: value").
bool starts_with_header(std::string_view text);

// The header block up to the empty line, line ends as CR LF.
std::string header_block(std::string_view text);

// The value of the first field of that name (unfolded), or nullopt.
std::optional<std::string> header_value(std::string_view headers, std::string_view name);

// Status: R (read); X-Status: A (answered), F (flagged), D (deleted);
// X-Mozilla-Status: the bits of read, replied, marked, expunged, forwarded.
// nullopt when the message carries none of them.
std::optional<MessageState> state_from_headers(std::string_view headers);

// Attachments as the import makes them: parts with a file name, with the
// disposition "attachment" or of a type other than text, and nested
// messages (counted with their own attachments).
size_t count_attachments(std::string_view text);

}  // namespace vendrel::cli
