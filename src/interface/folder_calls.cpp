// The exported folder calls: CreateFolder, ChangeFolder and CheckFolder with
// their narrow twins. Paths are folder names separated by "\" and are always
// resolved from the store's top folder (the IPM subtree), never from the
// current folder; empty components are skipped. In EML mode the wide
// CreateFolder and ChangeFolder make directories instead.
#include <string>
#include <string_view>
#include <vector>

#include "common/errors.h"
#include "common/strings.h"
#include "interface/eml_directory.h"
#include "interface/export_guard.h"
#include "interface/library_state.h"
#include "interface/wide_arg.h"
#include "store/text_forms.h"
#include "vendrel.h"

namespace vendrel {
namespace {

constexpr int32_t no_store = -5;

// A path's components as the tokeniser splits it at "\" (none for null).
template <typename CharT>
std::vector<std::basic_string<CharT>> split_path(const CharT* path) {
  std::vector<std::basic_string<CharT>> parts;
  if (!path) return parts;
  std::basic_string_view<CharT> text = checked_text(path, "the folder path");
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find(CharT('\\'), start);
    if (end == std::basic_string_view<CharT>::npos) end = text.size();
    if (end > start) parts.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// Makes the top folder current, then walks the path, creating what is missing.
template <typename CharT>
void open_path(LibraryState& state, const CharT* path) {
  std::vector<std::basic_string<CharT>> parts = split_path(path);
  state.current_folder = state.current_store->top_folder();
  for (const auto& part : parts)
    state.current_folder = state.current_folder->get_or_create_subfolder(std::basic_string_view<CharT>(part));
}

template <typename CharT>
int32_t create_folder(const CharT* parent, const CharT* name, const CharT* container_class) {
  LibraryState& state = library_state();
  if (!state.current_store) return no_store;
  // A name holding the separator would make a folder that no path reaches.
  if (checked_text(name, "the folder name").find(CharT('\\')) != std::basic_string_view<CharT>::npos)
    throw qm_invalid_arg("the folder name holds the path separator");
  open_path(state, parent);
  state.current_folder = state.current_folder->create_subfolder(name, container_class, nullptr);
  return 0;
}

template <typename CharT>
int32_t change_folder(const CharT* path) {
  LibraryState& state = library_state();
  if (!state.current_store) return no_store;
  open_path(state, path);
  return 0;
}

template <typename CharT>
int32_t check_folder(const CharT* path) {
  LibraryState& state = library_state();
  if (!state.current_store) return no_store;
  std::vector<std::basic_string<CharT>> parts = split_path(path);
  state.current_folder = state.current_store->top_folder();
  for (const auto& part : parts) {
    const std::basic_string_view<CharT> name(part);
    if (!state.current_folder->has_subfolder(name)) return 0;
    state.current_folder = state.current_folder->get_or_create_subfolder(name);
  }
  return 1;
}

// EML mode: the directory parent\name (contacts are not written in EML mode).
int32_t create_eml_folder(const char16_t* parent, const char16_t* name, const char16_t* container_class) {
  LibraryState& state = library_state();
  if (container_class && std::u16string_view(checked_text(container_class, "the container class")) == u"IPF.Contact")
    return 0;
  std::u16string directory(parent ? checked_text(parent, "the parent path") : std::u16string_view());
  if (!directory.empty() && directory.back() != u'\\') directory += u'\\';
  directory += checked_text(name, "the folder name");
  state.eml_directory = directory;
  return create_eml_directory(state.eml_directory) ? 0 : 1;
}

int32_t change_eml_folder(const char16_t* path) {
  LibraryState& state = library_state();
  state.eml_directory = path ? std::u16string(checked_text(path, "the folder path")) : std::u16string();
  return create_eml_directory(state.eml_directory) ? 0 : 1;
}

}  // namespace
}  // namespace vendrel

using namespace vendrel;

extern "C" {

VENDREL_API int32_t CreateFolder(const vendrel_wchar* parent_path, const vendrel_wchar* name,
                                 const vendrel_wchar* container_class) {
  return guarded("CreateFolder", [&] {
    if (library_state().eml_mode)
      return create_eml_folder(wide_arg(parent_path), wide_arg(name), wide_arg(container_class));
    return create_folder(wide_arg(parent_path), wide_arg(name), wide_arg(container_class));
  });
}

VENDREL_API int32_t CreateFolderA(const char* parent_path, const char* name, const char* container_class) {
  return guarded("CreateFolderA", [&] { return create_folder(parent_path, name, container_class); });
}

VENDREL_API int32_t ChangeFolder(const vendrel_wchar* path) {
  return guarded("ChangeFolder", [&] {
    if (library_state().eml_mode) return change_eml_folder(wide_arg(path));
    return change_folder(wide_arg(path));
  });
}

VENDREL_API int32_t ChangeFolderA(const char* path) {
  return guarded("ChangeFolderA", [&] { return change_folder(path); });
}

VENDREL_API int32_t CheckFolder(const vendrel_wchar* path) {
  return guarded("CheckFolder", [&] { return check_folder(wide_arg(path)); });
}

VENDREL_API int32_t CheckFolderA(const char* path) {
  return guarded("CheckFolderA", [&] { return check_folder(path); });
}

}  // extern "C"
