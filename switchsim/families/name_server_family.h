// The name server and the initiator tables. The name server is the fabric's: it holds one
// object for every device logged in on a port that is up, on every switch that the queried
// switch reaches over links that are up, and answers get-next queries in address order.
#pragma once

#include <cstdint>
#include <vector>

#include "switchsim/core/family.h"

namespace sim {

// An object of the name server: a device, by its address and its place in the fabric.
struct ns_object {
    std::uint32_t port_id = 0;
    std::uint32_t sw = 0;
    std::uint8_t port = 0;
    std::uint16_t device = 0;  // index into the port's devices
};

struct name_server_fabric_state {
    // After the last object a get-next query answers with the first one again (true), or
    // refuses with "no such object".
    bool wrap_after_last = true;

    // The objects of each part of the fabric that links join, in address order, built for the
    // port states recorded in `built_for` and built again when they change.
    std::vector<std::uint16_t> built_for;
    std::uint64_t checked_at = ~std::uint64_t{0};  // the fabric::revision it was last checked at
    std::vector<std::size_t> segment_of;  // by switch
    std::vector<std::vector<ns_object>> segments;
};

struct name_server_state {};

struct name_server_family {
    using state = name_server_state;
    using fabric_state = name_server_fabric_state;
    static const family_info& info();
};

}  // namespace sim
