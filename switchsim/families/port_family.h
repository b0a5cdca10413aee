// Port configuration: types, loop mode, MFS mode and administrative state of every port, in an
// active and a saved set.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "switchsim/core/family.h"

namespace sim {

struct fabric;

// What a port's configuration commands change; saved and reloaded as a whole.
struct port_config {
    std::uint8_t type = 1;         // port type code, 1 F, 2 FL, 3 T, 4 SL, 5 TL
    std::uint8_t admin = 1;        // administrative state code, 1 on, 2 off, 3 test
    std::uint8_t al_disabled = 1;  // arbitrated loop disabled
    std::uint8_t mfs_mode = 0;

    bool operator==(const port_config&) const = default;
};

struct port_state {
    std::vector<port_config> active;  // one per port of the switch
    std::vector<port_config> saved;
};

struct port_family {
    using state = port_state;
    static const family_info& info();
};

// Operational state of a port as the switch reports it.
std::uint8_t operational_state(const fabric& f, std::size_t sw, std::uint8_t port);
// Whether something is logged in on the port (a device, or a switch over a working link).
bool logged_in(const fabric& f, std::size_t sw, std::uint8_t port);
// The type code a port takes for the wire code of a set-port-type message (1 = fabric port,
// decided by loop mode and link; 4 SL; 5 TL); nullopt for a code the switch refuses.
std::optional<std::uint8_t> type_for_wire_code(const fabric& f, std::size_t sw, std::uint8_t port,
                                               std::uint8_t wire_code);

}  // namespace sim
