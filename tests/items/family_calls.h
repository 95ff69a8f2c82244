// The exported calls of one string family, chosen by the file variant: the
// wide calls for the Unicode file, the narrow ones (suffix A) for the ANSI
// file, so that one typed test drives both.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "store/store_test_support.h"
#include "vendrel.h"

namespace vendrel::test {

// The calls of one family: wide for the Unicode file, narrow for the ANSI file.
template <typename V>
struct family_calls {
  static constexpr bool wide = V::unicode;
  using C = typename V::chartype;
  static std::basic_string<C> s(std::string_view utf8) { return text<C>(utf8); }
  static const vendrel_wchar* w(const std::u16string& t) { return reinterpret_cast<const vendrel_wchar*>(t.c_str()); }

  static int32_t create_pst(const std::filesystem::path& p) {
    if constexpr (wide) return CreatePst(w(utf16(p.string())), w(u"Calls"));
    else return CreatePstA(p.string().c_str(), "Calls");
  }
  static int32_t commit() {
    if constexpr (wide) return CommitPst();
    else return CommitPstA();
  }
  static int32_t folder(const char* name, const char* container_class = "IPF.Note") {
    if constexpr (wide) return CreateFolder(w(u""), w(utf16(name)), w(utf16(container_class)));
    else return CreateFolderA("", name, container_class);
  }
  static int32_t message(const char* cls, uint8_t embedded = 0, uint8_t pending = 0) {
    if constexpr (wide) return CreateMessage(cls ? w(utf16(cls)) : nullptr, embedded, pending);
    else return CreateMessageA(cls, embedded, pending);
  }
  static void subject(const char* t) {
    if constexpr (wide) Bind_subj(w(utf16(t)), 0);
    else Bind_subjA(t, 0);
  }
  static void body(const char* t) {
    if constexpr (wide) Bind_body(w(utf16(t)));
    else Bind_bodyA(t);
  }
  static void sender(const char* e, const char* n, const char* t) {
    auto a = e ? utf16(e) : u"", b = n ? utf16(n) : u"", c = t ? utf16(t) : u"";
    if constexpr (wide) Bind_sender(e ? w(a) : nullptr, n ? w(b) : nullptr, t ? w(c) : nullptr);
    else Bind_senderA(e, n, t);
  }
  static void recipient(const char* e, const char* n, const char* t, uint32_t type) {
    auto a = e ? utf16(e) : u"", b = n ? utf16(n) : u"", c = t ? utf16(t) : u"";
    if constexpr (wide) Bind_recipient(e ? w(a) : nullptr, n ? w(b) : nullptr, t ? w(c) : nullptr, type, 0);
    else Bind_recipientA(e, n, t, type, 0);
  }
  static void delivery(uint64_t ft) {
    if constexpr (wide) Bind_delivery_time(static_cast<uint32_t>(ft), static_cast<uint32_t>(ft >> 32));
    else Bind_delivery_timeA(static_cast<uint32_t>(ft), static_cast<uint32_t>(ft >> 32));
  }
  static void tagged(uint32_t tag, const void* data, uint32_t size) {
    if constexpr (wide) BindTaggedProp(tag, data, size);
    else BindTaggedPropA(tag, data, size);
  }
  // A To recipient with a name and an address.
  static void recipient(const char* e, const char* n) { recipient(e, n, nullptr, 1); }
  static int32_t sticky(uint8_t embedded = 0) {
    if constexpr (wide) return CreateSticky(embedded);
    else return CreateStickyA(embedded);
  }
  static int32_t contact(uint8_t embedded = 0, uint8_t pending = 0) {
    if constexpr (wide) return CreateContact(embedded, pending);
    else return CreateContactA(embedded, pending);
  }
  static int32_t appointment(uint8_t embedded = 0, uint8_t pending = 0) {
    if constexpr (wide) return CreateAppointment(embedded, pending);
    else return CreateAppointmentA(embedded, pending);
  }
  static int32_t task(uint8_t embedded = 0, uint8_t pending = 0) {
    if constexpr (wide) return CreateTask(embedded, pending);
    else return CreateTaskA(embedded, pending);
  }
};

}  // namespace vendrel::test
