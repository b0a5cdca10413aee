// The plain functions that build a port-status record from the answers it is made of: the
// port-state vector (ports_layout.h), the loop status (topology_layout.h) and the initiator
// table.
//
// The port-state arrays are strided by the answer's port count, so a port at or beyond that
// count has no entry of its own and is refused here; the loop's device count is the number of
// loop addresses the answer actually holds, and the arrays are allocated for exactly that many.
// Kept apart from the I/O so that the fuzz harness can drive them with arbitrary bytes.
#pragma once

#include <cstdint>

#include "proto/wire.h"
#include "telvar/tv_api.h"

namespace tv {

// port, type, operational, admin and logged_in of `port` from a port-state answer; false (the
// record untouched) when the answer's count is refused or the port lies beyond it.
bool decode_port_fixed(wire::cbytes state, std::uint32_t port, tv_port_status& out);

// The loop detail of a loop-status answer: its loop address, and the three device arrays,
// zero-filled, holding the ALPAs. TV_ERR_ALLOC when an allocation failed (what was allocated
// stays in the record for tv_free_port_status).
int32_t decode_loop_devices(wire::cbytes al_status, tv_port_status& out);

// The WWNs of each loop device from the first initiator on the same port with the same ALPA;
// a device no initiator matches keeps zero WWNs.
void match_initiators(const tv_initiators& table, tv_port_status& out);

// Whether a port type's detail is the loop detail (every type but F_Port and T_Port).
constexpr bool has_loop_detail(std::uint32_t type) {
    return type != TV_PORT_TYPE_F && type != TV_PORT_TYPE_T;
}

}  // namespace tv
