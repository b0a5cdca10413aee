// The plain functions that read the port-types and port-state responses (ports_layout.h).
//
// Every array offset of the port-state response depends on its port count N; a count above
// TV_MAX_PORTS would move them past the message, and is refused here once for every reader.
// Kept apart from the operations so that the fuzz harness can drive the readers with arbitrary
// bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "proto/ports/layout.h"
#include "proto/wire.h"
#include "telvar/tv_api.h"

namespace tv {

using layout::ports::port_array;
using layout::ports::port_array_at;

// The port count of a port-types or port-state response; nullopt above TV_MAX_PORTS.
std::optional<std::uint32_t> decode_port_count(wire::cbytes resp);

// Copies out.size() per-port bytes starting at offset `first`.
void decode_port_bytes(wire::cbytes resp, std::size_t first, std::span<std::uint8_t> out);

// Fills one entry per port (out.size() of them) from a port-state response with `n` ports:
// admin from array 0, operational from array 2.
void decode_port_state(wire::cbytes resp, std::uint32_t n, std::span<tv_port_state_entry> out);

// Writes the complete admin-state vector into a set-port-state request, from offset 24: `state`
// for `port` (or for every port when port is TV_ALL_PORTS), the current admin state of the
// port-state response `current` for the others. Returns the number of ports written.
std::uint32_t encode_admin_vector(wire::cbytes current, std::int32_t port, std::uint8_t state,
                                  wire::bytes req);

}  // namespace tv
