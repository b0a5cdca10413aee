// Chassis-wide commands. A reset restarts the switch: it sends no answer, and every family
// reloads its saved set, ends its sessions and runs (reset_switch). Where logins are required
// only a logged-in manager may reset (others get 0x0E, which nobody waits for).
#include <array>

#include "handlers.h"
#include "utilmsg.h"

namespace sim {

namespace {

void reset(request_ctx& c) {
    c.silent = true;
    reset_switch(c.self());
}

constexpr std::array<handler_entry, 1> table{{
    {TV_CMD_SWITCH_RESET, 0, reset, true, "switch reset"},
}};

}  // namespace

const family_info& chassis_family::info() {
    static const family_info f{.name = "chassis", .handlers = table};
    return f;
}

}  // namespace sim
