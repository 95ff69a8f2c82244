// The exported store calls: CreatePst and CreatePstA open the one current
// store (a Unicode or an ANSI file) and make its top folder current,
// CommitPst and CommitPstA write it out and drop it, GetMapiTagForNP returns
// the property ID of a named property in the open store.
#include <string>
#include <string_view>

#include "common/errors.h"
#include "common/logger.h"
#include "interface/binding.h"
#include "interface/export_guard.h"
#include "interface/library_state.h"
#include "interface/wide_arg.h"
#include "platform/platform.h"
#include "store/store.h"
#include "store/text_forms.h"
#include "vendrel.h"

namespace vendrel {
namespace {

// The numeric name that asks for a string-named property instead.
constexpr uint32_t string_name_marker = 0x2A2A2A2A;

// Drops the previous store, uncommitted, before its file could be replaced,
// together with everything that belongs to it.
void drop_store(LibraryState& state) {
  state.pending_embedded.clear();
  state.current_message.reset();
  state.current_sticky.reset();
  state.current_contact.reset();
  state.current_appointment.reset();
  state.current_task.reset();
  state.current_folder.reset();
  state.current_store.reset();
  state.store_open = 0;
}

template <typename CharT>
void open_store(LibraryState& state, ref<pst_store> store, const CharT* name) {
  store->set_display_name(name);
  state.current_store = std::move(store);
  state.current_folder = state.current_store->top_folder();
}

int32_t create_pst(const char16_t* path, const char16_t* name) {
  LibraryState& state = library_state();
  const std::u16string_view file = checked_text(path, "the file path");
  checked_text(name, "the store's display name");
  if (state.eml_mode) state.remembered_output_path = std::u16string(file);
  drop_store(state);
  platform::delete_file(file);
  open_store(state, create_unicode_store(file), name);
  clear_wide_bindings(state);
  state.store_open = 1;
  return 0;
}

int32_t create_pst_narrow(const char* path, const char* name) {
  LibraryState& state = library_state();
  const std::string_view file = checked_text(path, "the file path");
  checked_text(name, "the store's display name");
  drop_store(state);
  platform::delete_file_narrow(file);
  open_store(state, create_ansi_store(file), name);
  clear_narrow_bindings(state);
  clear_wide_bindings(state);
  state.store_open = 1;
  return 0;
}

// Steps shared by both commits: write, drop the store, close the flag.
void commit_store(LibraryState& state) {
  if (!state.current_store) throw qm_cwf_error("");
  state.current_store->commit();
  state.current_store.reset();
  state.store_open = 0;
}

int32_t commit_pst() {
  LibraryState& state = library_state();
  commit_store(state);
  clear_wide_bindings(state);
  logger().write_line("[PST] deleting eml file");
  // In EML mode the PST file is only a by-product of the store calls.
  if (state.eml_mode && state.remembered_output_path) {
    platform::delete_file(*state.remembered_output_path);
    state.remembered_output_path.reset();
  }
  return 0;
}

int32_t commit_pst_narrow() {
  LibraryState& state = library_state();
  commit_store(state);
  clear_narrow_bindings(state);
  return 0;
}

int32_t mapi_tag_for_named_property(uint32_t numeric_name, const void* guid, const char16_t* string_name) {
  LibraryState& state = library_state();
  if (!state.store_open || !state.current_store) return 0;
  pst_named_property property;
  property.guid = static_cast<const uint8_t*>(guid);
  if (numeric_name == string_name_marker && string_name) {
    checked_text(string_name, "the property name");
    property.kind = 1;
    property.name = string_name;
  } else {
    property.kind = 0;
    property.id = numeric_name;
  }
  return static_cast<int32_t>(state.current_store->named_property_id(property));
}

}  // namespace
}  // namespace vendrel

using namespace vendrel;

extern "C" {

VENDREL_API int32_t CreatePst(const vendrel_wchar* path, const vendrel_wchar* display_name) {
  return guarded("CreatePst", [&] { return create_pst(wide_arg(path), wide_arg(display_name)); });
}

VENDREL_API int32_t CreatePstA(const char* path, const char* display_name) {
  return guarded("CreatePstA", [&] { return create_pst_narrow(path, display_name); });
}

VENDREL_API int32_t CommitPst(void) {
  return guarded("CommitPst", [] { return commit_pst(); });
}

VENDREL_API int32_t CommitPstA(void) {
  return guarded("CommitPstA", [] { return commit_pst_narrow(); });
}

VENDREL_API int32_t GetMapiTagForNP(uint32_t numeric_name, const void* guid16, const vendrel_wchar* string_name) {
  return guarded("GetMapiTagForNP",
                 [&] { return mapi_tag_for_named_property(numeric_name, guid16, wide_arg(string_name)); });
}

}  // extern "C"
