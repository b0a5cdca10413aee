// Readers of the answers a port status is made of, through the bounded readers of wire.h,
// ports_decode.h and topology_decode.h.
#include "tv_api/operations/port_status_decode.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "proto/ports/decode.h"
#include "proto/topology/decode.h"
#include "tv_api/alloc.h"

namespace tv {

bool decode_port_fixed(wire::cbytes state, std::uint32_t port, tv_port_status& out) {
    const auto n = decode_port_count(state);
    if (!n || port >= *n) return false;
    const auto at = [&](port_array a) { return wire::get_u8(state, port_array_at(a, *n) + port); };
    out.port = port;
    out.type = at(port_array::type);
    out.operational = at(port_array::operational);
    out.admin = at(port_array::admin);
    out.logged_in = at(port_array::logged_in);
    return true;
}

int32_t decode_loop_devices(wire::cbytes al_status, tv_port_status& out) {
    const al_loop loop = decode_al_loop(al_status);
    const std::size_t room = std::max<std::size_t>(loop.count, 1);
    out.loop.address = loop.loop_addr;
    out.loop.alpas = static_cast<std::uint8_t*>(tv::alloc_zeroed(room, 1));
    out.loop.port_wwns = static_cast<std::uint8_t(*)[8]>(tv::alloc_zeroed(room, 8));
    out.loop.node_wwns = static_cast<std::uint8_t(*)[8]>(tv::alloc_zeroed(room, 8));
    if (!out.loop.alpas || !out.loop.port_wwns || !out.loop.node_wwns) return TV_ERR_ALLOC;
    out.loop.count = static_cast<std::uint32_t>(decode_al_alpas(al_status, {out.loop.alpas, loop.count}));
    return TV_OK;
}

void match_initiators(const tv_initiators& table, tv_port_status& out) {
    const std::size_t known = std::min<std::size_t>(table.count, TV_MAX_INITIATORS);
    for (std::uint32_t i = 0; i < out.loop.count; ++i) {
        for (std::size_t j = 0; j < known; ++j) {
            if (table.port[j] != out.port || table.alpa[j] != out.loop.alpas[i]) continue;
            std::memcpy(out.loop.port_wwns[i], table.port_wwn[j], 8);
            std::memcpy(out.loop.node_wwns[i], table.node_wwn[j], 8);
            break;
        }
    }
}

}  // namespace tv
