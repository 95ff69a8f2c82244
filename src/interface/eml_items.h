// The EML-mode branches of the item calls: in EML mode CreateMessage,
// CreateSticky(A), CreateAppointment and CreateTask hand the wide bound state
// to the EML writer instead of a store.
#pragma once

#include <cstdint>

#include "eml/eml_record.h"
#include "interface/library_state.h"

namespace vendrel {

enum class eml_item_kind { message, sticky, appointment, task };

// The EML branch of the wide call for `kind`. A message created as embedded
// is queued as a part of the next written message (taking the parts queued
// so far along when `attach_pending` is set, so that nesting is kept); any
// other message, and every other kind, is written as a file together with
// all queued parts. Sticky notes, appointments and tasks are named
// "<n>_Sticky_<name>", "<n>_Appointment_<name>", "<n>_Task_<name>". The wide
// bound state is cleared after a write or queue. Returns 0 when the file was
// written or the message queued; -1 for a message that could not be
// written; the other kinds always return 0.
int32_t create_eml_item(eml_item_kind kind, uint8_t embedded, uint8_t attach_pending);

// CreateStickyA in EML mode: writes the wide bound state under the current
// file name, without the sticky note's counter.
int32_t create_eml_sticky_narrow();

// The EML message record of the wide bound state.
EmlMessageRecord eml_record_of(const LibraryState& state);

// Bind_body_EML: queues the record while the body-only flag is set, else
// writes it with the queued parts (which are emptied once written). True
// when it was written or queued.
bool bind_body_eml(LibraryState& state);

}  // namespace vendrel
