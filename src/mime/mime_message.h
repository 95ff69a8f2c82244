// A whole message: the top-level body, with the Date field and the address
// fields at hand.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mime/address_list.h"
#include "mime/mime_body.h"

namespace vendrel {

class CMimeMessage : public CMimeBody {
 public:
  // Date as "Www, d Mmm yyyy hh:mm:ss +hhmm" for a local time, with the
  // local time zone's offset at that time.
  void set_date(int year, int month, int day, int hour, int minute, int second);
  // The same with a given offset from UTC in minutes (east positive).
  void set_date(int year, int month, int day, int hour, int minute, int second, int utc_offset_minutes);
  // The Date text. Fields out of range are clamped (month 1..12, day
  // 1..31, hour 0..23, minute and second 0..59) so that the text stays a date.
  static std::string format_date(int year, int month, int day, int hour, int minute, int second,
                                 int utc_offset_minutes);
  // The local time zone's offset from UTC (minutes) at that local time.
  static int local_utc_offset(int year, int month, int day, int hour, int minute, int second);

  std::string date() const { return field_value("Date"); }
  std::string from() const { return field_value("From"); }
  std::string to() const { return field_value("To"); }
  std::string cc() const { return field_value("Cc"); }
  std::string bcc() const { return field_value("Bcc"); }
  std::string reply_to() const { return field_value("Reply-To"); }
  std::string subject() const { return field_value("Subject"); }

  void set_from(std::string value, std::string charset = {}) { set_field_value("From", std::move(value), std::move(charset)); }
  void set_to(std::string value, std::string charset = {}) { set_field_value("To", std::move(value), std::move(charset)); }
  void set_cc(std::string value, std::string charset = {}) { set_field_value("Cc", std::move(value), std::move(charset)); }
  void set_bcc(std::string value, std::string charset = {}) { set_field_value("Bcc", std::move(value), std::move(charset)); }
  void set_subject(std::string value, std::string charset = {}) {
    set_field_value("Subject", std::move(value), std::move(charset));
  }

  // The mailboxes of an address field ("From", "To", ...), names decoded.
  std::vector<CMimeAddress> addresses(std::string_view field) const { return parse_address_list(field_value(field)); }
};

}  // namespace vendrel
