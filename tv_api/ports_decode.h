// Layout of the port-types and port-state responses, and the plain functions that read them.
//
// Both responses carry the port count N at offset 20 and per-port byte arrays from offset 24.
// The port-state response packs seven arrays back to back with stride N, so every offset
// depends on N; a count above TV_MAX_PORTS would move them past the message, and is refused
// here once for every reader. Kept apart from the operations so that the fuzz harness can
// drive the readers with arbitrary bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "tv_api.h"
#include "wire.h"

namespace tv {

namespace port_msg {
inline constexpr std::size_t count_at = 20;
inline constexpr std::size_t arrays_at = 24;
inline constexpr std::size_t types_ret_len = 52;  // N, then one type code per port
inline constexpr std::size_t state_req_len = 140;
inline constexpr std::size_t state_ret_len = 196;  // N, then seven arrays of N bytes
}  // namespace port_msg

// The arrays of the port-state response, in their order on the wire.
enum class port_array : std::size_t {
    admin = 0,
    reserved = 1,  // not interpreted
    operational = 2,
    type = 3,
    logged_in = 4,
    al_disabled = 5,
    mfs_mode = 6,
};

// Offset of the first byte of array `a` in a port-state response with `n` ports.
constexpr std::size_t port_array_at(port_array a, std::uint32_t n) {
    return port_msg::arrays_at + static_cast<std::size_t>(a) * n;
}

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
