// Ctrl-C (and a polite kill) ends a job between two messages: the handler
// only raises a flag that the job looks at.
#pragma once

namespace vendrel::cli {

void install_interrupt_handler();
bool interrupted();

}  // namespace vendrel::cli
