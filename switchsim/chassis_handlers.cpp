// Chassis-wide commands. A reset restarts the switch: it sends no answer, reloads the saved
// configuration, ends every login session and starts its uptime again. Where logins are
// required only a logged-in manager may reset (others get 0x0E, which nobody waits for).
#include <array>

#include "handlers.h"
#include "utilmsg.h"

namespace sim {

namespace {

void reset(request_ctx& c) {
    auto& s = c.self();
    c.silent = true;
    reload_config(s);
    s.sessions.clear();
    s.booted = std::chrono::steady_clock::now();
}

constexpr std::array<handler_entry, 1> table{{
    {TV_CMD_SWITCH_RESET, 0, reset, true, "switch reset"},
}};

}  // namespace

std::span<const handler_entry> chassis_handlers() { return table; }

}  // namespace sim
