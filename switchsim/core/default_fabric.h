// The fabric the simulator serves when it is given none: three switches linked in a line,
// written as a fabric file (default_fabric.json) and built into the program.
#pragma once

#include "switchsim/core/fabric.h"

namespace sim {

// The text of default_fabric.json.
extern const char* const default_fabric_json;

// Switch k (1 to 3) has chassis k, FC address 0x100000 | (k << 14) and the IP address
// base + k - 1 (network order). 16 ports each, with a mix of port types and states,
// transceivers, fans, a few devices and loops.
fabric default_fabric(in_addr_t base);

}  // namespace sim
