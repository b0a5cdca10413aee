// The plain functions that read the topology, loop-status and routing answers
// (topology_layout.h).
//
// A topology answer holds at most 16 entries whatever count it claims; an entry index beyond
// the page reads as no link, and the loop status never yields more ALPAs than its message
// holds. Kept apart from the operations so that the fuzz harness can drive the readers with
// arbitrary bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "proto/topology/layout.h"
#include "proto/wire.h"
#include "telvar/tv_api.h"

namespace tv {

// What the first page of a topology answer says of the switch.
struct topology_head {
    std::uint8_t count = 0;  // T, port entries of the switch
    std::uint8_t info1 = 0;
    std::uint8_t info2 = 0;
    std::uint32_t fc_addr = 0;
};
topology_head decode_topology_head(wire::cbytes resp);

// The entries that a page holds when `done` of `total` have been read: at most 16.
constexpr std::uint8_t page_entries(std::uint8_t total, std::uint8_t done) {
    const unsigned left = total > done ? total - done : 0u;
    return static_cast<std::uint8_t>(left < layout::topology::topo::per_page
                                         ? left
                                         : layout::topology::topo::per_page);
}

// Entry i of a page as a link of local port `port`; remote_fc_addr 0 when the port has no
// link or i lies beyond the page. remote_wwn is left zero.
tv_switch_link decode_topology_entry(wire::cbytes resp, std::size_t i, std::uint32_t port);

// The three tables and the two bytes of a routing answer (fc_addr is not part of it).
void decode_port_steering(wire::cbytes resp, tv_port_steering& out);

// The loop of an arbitrated-loop status answer: the device count D as the switch reports it,
// the port's loop address and the FC address the device addresses are built on.
struct al_loop {
    std::uint8_t count = 0;
    std::uint8_t loop_addr = 0;
    std::uint32_t base_addr = 0;
};
al_loop decode_al_loop(wire::cbytes resp);
// Copies the ALPAs of the loop into `out`; returns how many: at most D, the room of `out`
// and the ALPAs the message holds.
std::size_t decode_al_alpas(wire::cbytes resp, std::span<std::uint8_t> out);

}  // namespace tv
