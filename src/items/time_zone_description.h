// The time zone description an appointment carries when its caller gives
// none: the name of the zone's current time as the machine reports it.
#pragma once

#include <optional>
#include <string>

#include "platform/platform.h"

namespace vendrel {

// The standard name while standard time is in effect (id 1), the daylight
// name while daylight time is (id 2); none for any other id, and none for
// an empty name.
std::optional<std::u16string> time_zone_description(const platform::time_zone_information& zone);

// The same for the machine's zone now.
std::optional<std::u16string> current_time_zone_description();

}  // namespace vendrel
