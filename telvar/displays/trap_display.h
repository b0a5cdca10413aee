// The trap event table of trap_listen: its header lines and one event's line, apart from the
// command so that the formats can be checked without a switch.
#pragma once

#include <ctime>
#include <string>

#include "telvar/tv_api.h"

namespace telvar {

// The three header lines of the event table.
extern const char* const trap_event_header;

// One event's line, taken at `when` (local time), newline included.
std::string trap_event_line(const tv_trap_event& e, std::time_t when);

}  // namespace telvar
