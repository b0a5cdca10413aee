// The fabric the simulator serves when it is given none: three switches linked in a line.
#pragma once

#include "fabric.h"

namespace sim {

// Switch k (1 to 3) has chassis k, FC address 0x100000 | (k << 14) and the IP address
// base + k - 1 (network order). 16 ports each, with a mix of port types and states,
// transceivers, fans, a few devices and loops.
fabric default_fabric(in_addr_t base);

}  // namespace sim
