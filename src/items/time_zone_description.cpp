#include "items/time_zone_description.h"

namespace vendrel {

std::optional<std::u16string> time_zone_description(const platform::time_zone_information& zone) {
  const std::u16string* name = nullptr;
  if (zone.id == platform::time_zone_id_standard)
    name = &zone.standard_name;
  else if (zone.id == platform::time_zone_id_daylight)
    name = &zone.daylight_name;
  // An empty description tells a reader nothing; leave the property out.
  if (!name || name->empty()) return std::nullopt;
  return *name;
}

std::optional<std::u16string> current_time_zone_description() { return time_zone_description(platform::time_zone()); }

}  // namespace vendrel
