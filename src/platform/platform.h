// The operating-system layer. The library is written against a small set of
// system services (files, code pages, clocks, GUIDs, machine facts); this
// header is the whole of that set. posix.cpp serves it on Linux, win32.cpp on
// Windows. No other file of the library includes an operating-system header.
//
// Results follow the Win32 conventions the layers above are written for:
// calls return a success flag and leave a Win32-numbered error code in
// last_error(), so that rules such as "a write error other than 87 or 122
// fails the file" read the same on every system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vendrel::platform {

// ---------------------------------------------------------------- errors

// Win32 error numbers; the POSIX layer maps errno onto these.
namespace error {
inline constexpr uint32_t success = 0;
inline constexpr uint32_t file_not_found = 2;
inline constexpr uint32_t path_not_found = 3;
inline constexpr uint32_t too_many_open_files = 4;
inline constexpr uint32_t access_denied = 5;
inline constexpr uint32_t invalid_handle = 6;
inline constexpr uint32_t not_enough_memory = 8;
inline constexpr uint32_t write_fault = 29;
inline constexpr uint32_t read_fault = 30;
inline constexpr uint32_t sharing_violation = 32;
inline constexpr uint32_t handle_eof = 38;
inline constexpr uint32_t file_exists = 80;
inline constexpr uint32_t invalid_parameter = 87;
inline constexpr uint32_t disk_full = 112;
inline constexpr uint32_t insufficient_buffer = 122;
inline constexpr uint32_t already_exists = 183;
inline constexpr uint32_t not_supported = 50;
inline constexpr uint32_t gen_failure = 31;         // any other system failure
inline constexpr uint32_t negative_seek = 131;      // a seek before the start of the file
inline constexpr uint32_t filename_too_long = 206;  // a path or path component too long
}  // namespace error

// The calling thread's last error, as GetLastError/SetLastError.
uint32_t last_error();
void set_last_error(uint32_t code);

// ---------------------------------------------------------------- files

using file_handle = std::intptr_t;
inline constexpr file_handle invalid_file = -1;

// Access, share and creation values carry their Win32 numbers.
namespace access {
inline constexpr uint32_t read = 0x80000000u;   // GENERIC_READ
inline constexpr uint32_t write = 0x40000000u;  // GENERIC_WRITE
}  // namespace access
namespace share {
inline constexpr uint32_t none = 0;
inline constexpr uint32_t read = 1;
inline constexpr uint32_t write = 2;
}  // namespace share
namespace creation {
inline constexpr uint32_t create_new = 1;
inline constexpr uint32_t create_always = 2;
inline constexpr uint32_t open_existing = 3;
inline constexpr uint32_t open_always = 4;
inline constexpr uint32_t truncate_existing = 5;
}  // namespace creation
namespace file_flag {
inline constexpr uint32_t normal = 0x80;                // FILE_ATTRIBUTE_NORMAL
inline constexpr uint32_t random_access = 0x10000000u;  // FILE_FLAG_RANDOM_ACCESS
}  // namespace file_flag

enum class seek_origin : uint32_t { begin = 0, current = 1, end = 2 };

// Opens or creates a file. Wide paths are UTF-16; narrow paths are in the
// system's narrow encoding (UTF-8 on Linux, the ANSI code page on Windows).
// On Linux "\" separates like "/", unpaired surrogates of a wide path become
// U+FFFD, and a path ends at its first NUL.
// share::none asks for exclusive use: another open of the same file by a
// handle of this layer then fails with error::sharing_violation (and a
// create_always over it leaves the file untouched). On success last_error()
// is error::already_exists when open_always or create_always found the file
// existing, else success (as CreateFileW).
file_handle open_file(std::u16string_view path, uint32_t desired_access, uint32_t share_mode,
                      uint32_t creation_disposition, uint32_t flags);
file_handle open_file_narrow(std::string_view path, uint32_t desired_access, uint32_t share_mode,
                             uint32_t creation_disposition, uint32_t flags);
bool close_file(file_handle handle);
// Writes the file's data and metadata through to stable storage (fsync,
// FlushFileBuffers). A write-back error of earlier writes may show only here.
bool flush_file(file_handle handle);

// Reads or writes at the handle's position and advances it. A short read at
// the end of the file succeeds with *transferred below count. Both set
// last_error() to success when they succeed, so that a caller testing
// last_error() after the call never sees an older error.
bool read_file(file_handle handle, void* buffer, uint32_t count, uint32_t* transferred);
bool write_file(file_handle handle, const void* buffer, uint32_t count, uint32_t* transferred);
// The same at an explicit offset, in one call (pread/pwrite, ReadFile/WriteFile
// with an OVERLAPPED offset). The handle's position is unspecified afterwards:
// a caller that mixes both forms seeks before the positional one.
bool read_file_at(file_handle handle, uint64_t offset, void* buffer, uint32_t count, uint32_t* transferred);
bool write_file_at(file_handle handle, uint64_t offset, const void* buffer, uint32_t count,
                   uint32_t* transferred);
bool seek_file(file_handle handle, int64_t distance, seek_origin origin, uint64_t* new_position);
bool file_size(file_handle handle, uint64_t* size);
// Sets the end of the file at the handle's position (SetEndOfFile).
bool set_end_of_file(file_handle handle);

// FILETIMEs (100 ns units since 1601-01-01 UTC).
struct file_times {
  uint64_t creation = 0;
  uint64_t last_access = 0;
  uint64_t last_write = 0;
};
bool get_file_times(file_handle handle, file_times* times);

// Deleting a file that a handle of this layer holds open fails with
// error::sharing_violation (no handle of this layer shares deletion).
bool delete_file(std::u16string_view path);
bool delete_file_narrow(std::string_view path);
bool create_directory(std::u16string_view path);

inline constexpr uint32_t invalid_file_attributes = 0xFFFFFFFFu;
inline constexpr uint32_t attribute_directory = 0x10;
inline constexpr uint32_t attribute_normal = 0x80;
// Win32 attribute bits of a path, or invalid_file_attributes if it does not exist.
uint32_t file_attributes(std::u16string_view path);

void sleep_ms(uint32_t milliseconds);

// ---------------------------------------------------------------- text

// Two code pages where Windows has one (GetACP):
// - the host's: the code page of the narrow strings a host hands over (the
//   narrow calls' texts, paths). UTF-8 (65001) on Linux, whose narrow strings
//   are UTF-8; GetACP on Windows. Code page 0 below is this one.
// - the file's: the Windows code page the 8-bit strings of an ANSI file are
//   written in, since the mail client and the readers decode them with one.
//   GetACP on Windows; elsewhere 1252, or the code page the environment
//   variable VENDREL_ANSI_CODEPAGE names (a decimal number) when this system
//   converts it and it is an 8-bit code page (not UTF-7, UTF-16 or the
//   ISO-2022 forms).
uint32_t host_code_page();
uint32_t file_code_page();
// The host's code page (the name of GetACP's old role here).
inline uint32_t ansi_code_page() { return host_code_page(); }

// The file code page a VENDREL_ANSI_CODEPAGE value names, or nullopt for a
// value that names none (empty, not a number, unsupported, not 8-bit).
std::optional<uint32_t> file_code_page_from(const char* value);

// MultiByteToWideChar / WideCharToMultiByte. Code page 0 is the host's code
// page; an unknown code page falls back to it. Characters that cannot be converted
// become '?' (U+003F); invalid input never fails the call. Unpaired surrogates
// in wide input count as unconvertible.
std::u16string multibyte_to_wide(uint32_t code_page, std::string_view text);
std::string wide_to_multibyte(uint32_t code_page, std::u16string_view text);

// True when the code page has a converter on this system.
bool code_page_supported(uint32_t code_page);

// The length of the longest start of `text` that holds at most `limit` code
// units and ends on a character boundary: never inside a multi-byte
// character of an 8-bit string in the code page (UTF-8, the double-byte code
// pages 932, 936, 949, 950 and 1361, EUC-JP, EUC-KR, GB18030; 0 is the
// host's), never between the halves of a UTF-16 surrogate pair. Code pages
// with one byte a character cut at `limit`.
size_t character_cut(uint32_t code_page, std::string_view text, size_t limit);
size_t character_cut(std::u16string_view text, size_t limit);

// The code page of an Internet charset name (compared without case) that
// this system's converters know: numbered names ("windows-1258", "cp850",
// "iso-8859-10") by their number, other names by the converter they select.
// nullopt when the system knows no such charset or no code page matches it.
std::optional<uint32_t> code_page_for_charset(std::string_view name);

// ---------------------------------------------------------------- time

// The layout of the Win32 SYSTEMTIME.
struct system_time {
  uint16_t year = 0, month = 0, day_of_week = 0, day = 0;
  uint16_t hour = 0, minute = 0, second = 0, milliseconds = 0;
};

uint64_t system_time_as_filetime();                         // GetSystemTimeAsFileTime
// FileTimeToLocalFileTime. The POSIX layer applies the offset in effect at
// that instant (a July time gets the summer offset even in January); fails
// when the result would leave the FILETIME range.
bool filetime_to_local_filetime(uint64_t utc, uint64_t* local);
system_time local_time();                                   // GetLocalTime
// SystemTimeToFileTime: fails on fields out of range (month 13, day 32, hour 24, ...).
bool system_time_to_filetime(const system_time& time, uint64_t* filetime);
bool filetime_to_system_time(uint64_t filetime, system_time* time);

// GetTimeZoneInformation: biases in minutes, UTC = local + bias.
// The function's result is `id`: 0 when the zone has no daylight saving time,
// 1 when standard time is in effect now, 2 when daylight time is.
inline constexpr uint32_t time_zone_id_unknown = 0;
inline constexpr uint32_t time_zone_id_standard = 1;
inline constexpr uint32_t time_zone_id_daylight = 2;
struct time_zone_information {
  int32_t bias = 0;
  std::u16string standard_name;
  system_time standard_date;
  int32_t standard_bias = 0;
  std::u16string daylight_name;
  system_time daylight_date;
  int32_t daylight_bias = 0;
  uint32_t id = time_zone_id_unknown;
};
time_zone_information time_zone();

// ---------------------------------------------------------------- identifiers

// 16 random bytes laid out as a GUID (Data1..Data3 little-endian), version 4,
// RFC 4122 variant (UuidCreate, CoCreateGuid).
void create_guid(uint8_t guid[16]);
// "xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx", lower case (UuidToStringA).
std::string guid_to_string(const uint8_t guid[16]);

// ---------------------------------------------------------------- machine facts

// Values for the logger's machine-info header; nullopt when not available.
std::optional<std::string> module_path();        // the library's own file
std::optional<std::string> current_directory();
std::optional<std::string> system_directory();
std::optional<std::string> windows_directory();  // nullopt on POSIX
std::optional<std::string> temp_path();
std::optional<std::string> computer_name();

}  // namespace vendrel::platform
