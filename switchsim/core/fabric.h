// The simulated fabric: plain data that the command handlers read and change.
//
// One `fabric` holds every switch the simulator serves and the inter-switch links between
// them. A switch is its place in the fabric (name, addresses, chassis), its ports' hardware and
// one sub-record per command family (families.h); a family keeps what its commands change,
// active and saved where its commands save, and a reset reloads the saved set.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "proto/topology/layout.h"
#include "switchsim/core/fabric_basics.h"
#include "switchsim/families/families.h"

namespace sim {

struct switch_state {
    std::string name;
    in_addr_t ip = 0;  // network order; 0: reachable only through the fabric
    std::uint8_t chassis = 0;
    std::uint32_t fc_addr = 0;
    // How long the switch takes to answer one request; it answers one at a time.
    std::chrono::milliseconds latency{0};
    std::chrono::steady_clock::time_point booted = std::chrono::steady_clock::now();
    // Until then the switch is restarting: requests that reach it are dropped unanswered.
    std::chrono::steady_clock::time_point silent_until{};
    std::vector<port> ports;

    families::states states;

    // The sub-record of family state type S.
    template <class S>
    S& get() {
        return std::get<S>(states);
    }
    template <class S>
    const S& get() const {
        return std::get<S>(states);
    }
};

// The key of a manager's session: its IPv4 address and UDP port.
constexpr std::uint64_t peer_key(in_addr_t ip, std::uint16_t port) {
    return std::uint64_t{ip} << 16 | port;
}

// An inter-switch link between two ports (switch indices into fabric::switches, ports from 0).
struct link {
    std::size_t switch_a = 0;
    std::uint8_t port_a = 0;
    std::size_t switch_b = 0;
    std::uint8_t port_b = 0;
};

struct fabric {
    std::vector<switch_state> switches;
    std::vector<link> links;
    // Moves whenever the fabric may have changed (a request that is not read-only, a tick, a
    // change from outside the loop), so that what is derived from it can be kept until then.
    std::uint64_t revision = 0;
    families::fabric_states states;

    // The fabric-wide sub-record of family state type S.
    template <class S>
    S& get() {
        return std::get<S>(states);
    }
    template <class S>
    const S& get() const {
        return std::get<S>(states);
    }

    std::optional<std::size_t> find_by_ip(in_addr_t ip) const;
    std::optional<std::size_t> find_by_chassis(std::uint8_t chassis) const;
    // The other end of a link on this port, if any.
    struct link_end {
        std::size_t sw;
        std::uint8_t port;
    };
    std::optional<link_end> remote_of(std::size_t sw, std::uint8_t port) const;

    // A link carries traffic while the ports at both its ends are operational.
    bool link_up(const link& l) const;
    // What switch `from` reaches over the links that are up: for every switch, whether a route
    // leads there, in how many hops, and the local port of its first hop (the lowest-numbered
    // port of a shortest route).
    struct route {
        bool reachable = false;
        std::uint8_t hops = 0;
        std::uint8_t port = 0;
    };
    std::vector<route> routes_from(std::size_t from) const;
    // Whether a route over links that are up leads from one switch to another: what every
    // request addressed through the fabric asks, so it allocates nothing.
    bool reaches(std::size_t from, std::size_t to) const;
};

// The FC address of switch k of a generated fabric.
constexpr std::uint32_t fc_addr_of_chassis(std::uint8_t chassis) {
    return 0x100000u | (std::uint32_t{chassis} << 14);
}

using tv::layout::topology::chassis_of;

// A reset of the switch: every family's reset, and the uptime starts again.
void reset_switch(switch_state& s);

// Checks the fabric's consistency; an empty text means it is sound.
std::string check_fabric(const fabric& f);

}  // namespace sim
