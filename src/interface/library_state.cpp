#include "interface/library_state.h"

#include "platform/platform.h"

namespace vendrel {

LibraryState::LibraryState() {
  wide.code_page = platform::ansi_code_page();
  narrow.code_page = platform::ansi_code_page();
}

namespace {
// Constructed by static initialisation, before any export can be called.
LibraryState state;
}  // namespace

LibraryState& library_state() { return state; }

}  // namespace vendrel
