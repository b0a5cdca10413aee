// The switch's listener table as a list, for the programs that keep a registration of their own
// alive (the watcher reads it every interval and registers only when its entry is gone). An
// internal operation of the trap family beside the exported ones; it sets tv_api_errno as they do.
#pragma once

#include <cstdint>
#include <vector>

#include "proto/traps/decode.h"
#include "telvar/tv_api.h"

namespace tv {

// Reads the listener table (trap sub-command 10) of the switch the context addresses into
// `out` (cleared first; at most 12 entries, bounded by what arrived); returns the status.
int32_t read_trap_listeners(tv_context* ctx, std::vector<trap_listener_entry>& out);

}  // namespace tv
