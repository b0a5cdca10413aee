// Traps: the switch's trap configuration block (active and saved), its listener table, its trap
// counters, and a timer that moves counters on its own so that a demo shows traps arriving.
#pragma once

#include <netinet/in.h>

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "switchsim/core/family.h"
#include "telvar/traps.h"

namespace sim {

struct trap_listener_addr {
    in_addr_t ip = 0;  // network order
    std::uint16_t port = 0;
    bool operator==(const trap_listener_addr&) const = default;
};

// The block is kept as the bytes the protocol carries (traps_layout.h), so the bytes no one
// interprets survive a write and a read unchanged.
struct trap_state {
    using block = std::array<std::uint8_t, TV_TRAP_BLOCK_LEN>;
    block active{};
    block saved{};
    std::vector<trap_listener_addr> listeners;  // at most TV_MAX_TRAP_LISTENERS
    std::map<std::pair<std::uint8_t, std::uint8_t>, std::int32_t> counters;  // (code, unit)
    std::uint32_t trap_seq = 0;  // sequence number of the trap messages sent

    // The timer: every `raise_every` (zero: never) the next enabled trap code's counter of
    // unit 2 is moved past its rising threshold, or back to its falling one.
    sim_clock::duration raise_every{};
    std::optional<sim_clock::time_point> next_raise;
    std::uint8_t next_code = 0;
};

struct trap_family {
    using state = trap_state;
    static const family_info& info();
};

}  // namespace sim
