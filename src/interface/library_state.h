// The library-wide state that the exported calls share between calls: the
// library has no handles, so the current store, folder and item and the
// fields bound for the next item live here, one instance per loaded library.
// The calls come from one thread at a time; there is no lock.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "common/base_object.h"
#include "interface/bound_fields.h"
#include "store/folder.h"
#include "store/store.h"
#include "store/store_item.h"

namespace vendrel {

struct LibraryState {
  LibraryState();

  ref<pst_store> current_store;    // the output file being built
  ref<pst_folder> current_folder;  // receives the next item
  ref<pst_store_item> current_message;
  // The current item of each other kind (CreateSticky, CreateContact,
  // CreateAppointment, CreateTask), kept until the next of its kind.
  ref<pst_store_item> current_sticky;
  ref<pst_store_item> current_contact;
  ref<pst_store_item> current_appointment;
  ref<pst_store_item> current_task;
  // Finished messages waiting to be attached to the next message.
  std::vector<ref<pst_store_item>> pending_embedded;

  uint8_t store_open = 0;  // 1 between CreatePst(A) and CommitPst(A)
  uint8_t eml_mode = 0;    // set by CreateEML; nothing clears it
  // EML mode: the next message is queued as a part of the following one
  // instead of being written as a file of its own (CreateMessage).
  uint8_t eml_body_only = 0;
  // EML mode: numbers of the sticky notes, appointments and tasks written so
  // far, which prefix their file names.
  int32_t eml_sticky_count = 0;
  int32_t eml_appointment_count = 0;
  int32_t eml_task_count = 0;

  BoundFields<char16_t> wide;  // filled by the wide binding calls
  BoundFields<char> narrow;    // filled by the narrow ones (suffix A)

  std::vector<TaggedPropBinding> tagged_props;  // shared by both families
  std::vector<AttachBinding> attachments;       // shared by both families
  std::vector<RecipientBinding<char16_t>> wide_recipients;
  std::vector<RecipientBinding<char>> narrow_recipients;

  std::u16string eml_directory;  // receives the next .eml file
  std::u16string eml_file_name;  // name of the next .eml file
  std::optional<std::u16string> remembered_output_path;
};

// The instance, constructed with the library-wide defaults when the library loads.
LibraryState& library_state();

}  // namespace vendrel
