// Readers of the topology, loop-status and routing answers. They take the message as a span
// and go through wire.h, so a short or hostile message reads as zeros instead of past its end.
#include "proto/topology/decode.h"

#include <algorithm>

namespace tv {

namespace L = layout::topology;

topology_head decode_topology_head(wire::cbytes resp) {
    return {wire::get_u8(resp, L::topo::count), wire::get_u8(resp, L::topo::info1),
            wire::get_u8(resp, L::topo::info2), wire::get_be32(resp, L::topo::fc_addr)};
}

tv_switch_link decode_topology_entry(wire::cbytes resp, std::size_t i, std::uint32_t port) {
    tv_switch_link l{};
    l.port = port;
    if (i >= L::topo::per_page) return l;
    const std::size_t at = L::topo::entry_at(i);
    l.remote_chassis = wire::get_u8(resp, at + L::topo::remote_chassis);
    l.info1 = wire::get_u8(resp, at + L::topo::entry_info1);
    l.info2 = wire::get_u8(resp, at + L::topo::entry_info2);
    l.local_fc_addr = wire::get_be32(resp, at + L::topo::local_fc_addr);
    l.remote_fc_addr = wire::get_be32(resp, at + L::topo::remote_fc_addr);
    l.remote_port = L::port_of(l.remote_fc_addr);
    return l;
}

void decode_port_steering(wire::cbytes resp, tv_port_steering& out) {
    namespace S = L::steering;
    out.info1 = wire::get_u8(resp, S::info1);
    out.info2 = wire::get_u8(resp, S::info2);
    wire::get_bytes(resp, S::table0, out.table0, S::table_len);
    wire::get_bytes(resp, S::route_valid, out.route_valid, S::table_len);
    wire::get_bytes(resp, S::route_port, out.route_port, S::table_len);
}

al_loop decode_al_loop(wire::cbytes resp) {
    return {wire::get_u8(resp, L::al::count), wire::get_u8(resp, L::al::loop_addr),
            wire::get_be32(resp, L::al::base_addr)};
}

std::size_t decode_al_alpas(wire::cbytes resp, std::span<std::uint8_t> out) {
    const std::size_t n = std::min({std::size_t{decode_al_loop(resp).count}, L::al::max_alpas,
                                    out.size()});
    wire::get_bytes(resp, L::al::alpas, out.data(), n);
    return n;
}

}  // namespace tv
