// Topology, loop status and routing: what a switch tells of its links, of the loops on its
// ports and of its routes. All of it follows from the fabric's links and port states; the only
// state is where a manager's next page of a long topology table starts.
#pragma once

#include <cstdint>
#include <map>

#include "switchsim/core/family.h"

namespace sim {

struct topology_state {
    // A topology request carries no start: a switch with more ports than a page holds answers
    // a manager's next request with the next page, and a repeated request (the same sequence
    // number: a retry) with the same page again.
    struct page_cursor {
        std::uint32_t seq = 0;
        std::uint8_t start = 0;  // of the page last sent
        std::uint8_t next = 0;   // of the page to send next
    };
    std::map<std::uint64_t, page_cursor> cursors;  // by manager
};

struct topology_family {
    using state = topology_state;
    static const family_info& info();
};

}  // namespace sim
