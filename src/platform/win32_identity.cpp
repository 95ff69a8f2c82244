// Win32 platform layer: GUIDs (UuidCreate, UuidToStringA) and the machine
// facts of the log header.
#if defined(_WIN32)

#include "platform/windows_headers.h"
#include <objbase.h>
#include <rpc.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/platform.h"

namespace vendrel::platform {

namespace {

// The calls below that fill a caller's buffer return the length without the
// NUL on success and the size needed (with the NUL) when the buffer is short.
template <typename Call>
std::optional<std::string> read_text(Call call) {
  std::string buffer(MAX_PATH + 1, '\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD n = call(buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::nullopt;
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(static_cast<size_t>(n) + 1);
  }
  return std::nullopt;
}

// A function of this library: its address names the module (the DLL, or the
// program the library is linked into) that holds it.
void module_anchor() {}

}  // namespace

void create_guid(uint8_t guid[16]) {
  UUID uuid{};
  const RPC_STATUS status = ::UuidCreate(&uuid);
  if (status != RPC_S_OK && status != RPC_S_UUID_LOCAL_ONLY) {
    // No generator: CoCreateGuid's own source, the system's random numbers.
    ::CoCreateGuid(&uuid);
  }
  // The GUID as it lies in memory: Data1..Data3 little-endian, then Data4.
  guid[0] = static_cast<uint8_t>(uuid.Data1);
  guid[1] = static_cast<uint8_t>(uuid.Data1 >> 8);
  guid[2] = static_cast<uint8_t>(uuid.Data1 >> 16);
  guid[3] = static_cast<uint8_t>(uuid.Data1 >> 24);
  guid[4] = static_cast<uint8_t>(uuid.Data2);
  guid[5] = static_cast<uint8_t>(uuid.Data2 >> 8);
  guid[6] = static_cast<uint8_t>(uuid.Data3);
  guid[7] = static_cast<uint8_t>(uuid.Data3 >> 8);
  std::memcpy(guid + 8, uuid.Data4, 8);
  // UuidCreate makes random version 4 GUIDs; the bits are set all the same,
  // so that every GUID of the library has the same form on every system.
  guid[7] = static_cast<uint8_t>((guid[7] & 0x0F) | 0x40);
  guid[8] = static_cast<uint8_t>((guid[8] & 0x3F) | 0x80);
}

std::string guid_to_string(const uint8_t guid[16]) {
  UUID uuid{};
  uuid.Data1 = static_cast<unsigned long>(guid[0]) | (static_cast<unsigned long>(guid[1]) << 8) |
               (static_cast<unsigned long>(guid[2]) << 16) | (static_cast<unsigned long>(guid[3]) << 24);
  uuid.Data2 = static_cast<unsigned short>(guid[4] | (guid[5] << 8));
  uuid.Data3 = static_cast<unsigned short>(guid[6] | (guid[7] << 8));
  std::memcpy(uuid.Data4, guid + 8, 8);
  RPC_CSTR text = nullptr;
  if (::UuidToStringA(&uuid, &text) == RPC_S_OK && text != nullptr) {
    std::string result(reinterpret_cast<const char*>(text));
    ::RpcStringFreeA(&text);
    return result;
  }
  // Out of memory for the RPC string: the same text by hand.
  char fallback[37];
  std::snprintf(fallback, sizeof fallback, "%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x",
                static_cast<unsigned long>(uuid.Data1), uuid.Data2, uuid.Data3, guid[8], guid[9], guid[10],
                guid[11], guid[12], guid[13], guid[14], guid[15]);
  return fallback;
}

std::optional<std::string> module_path() {
  HMODULE module = nullptr;
  if (!::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&module_anchor), &module))
    module = nullptr;  // the main program's name then
  // GetModuleFileNameA returns the buffer size when it had to cut the name.
  std::string buffer(MAX_PATH + 1, '\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    const DWORD n = ::GetModuleFileNameA(module, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::nullopt;
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
  return std::nullopt;
}

std::optional<std::string> current_directory() {
  return read_text([](char* buffer, DWORD size) { return ::GetCurrentDirectoryA(size, buffer); });
}

std::optional<std::string> system_directory() {
  return read_text([](char* buffer, DWORD size) { return ::GetSystemDirectoryA(buffer, size); });
}

std::optional<std::string> windows_directory() {
  return read_text([](char* buffer, DWORD size) { return ::GetWindowsDirectoryA(buffer, size); });
}

std::optional<std::string> temp_path() {
  return read_text([](char* buffer, DWORD size) { return ::GetTempPathA(size, buffer); });
}

std::optional<std::string> computer_name() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (!::GetComputerNameA(name, &size) || size == 0) return std::nullopt;
  return std::string(name, size);
}

}  // namespace vendrel::platform

#endif  // _WIN32
