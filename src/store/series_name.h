// File names of a store series: mail.pst is followed by mail - 001.pst, that
// one by mail - 002.pst, and so on.
#pragma once

#include <string>
#include <string_view>

namespace vendrel {

// The name of the file that follows `name` in its series: without a ".pst"
// ending, with a " - nnn" number (n > 0) taken off and counted on, or 1 when
// there is none, then " - " + the number as "%03d" + ".pst".
std::string next_series_name(std::string_view name);
std::u16string next_series_name(std::u16string_view name);

}  // namespace vendrel
