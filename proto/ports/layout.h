// Messages of port configuration: configuration sub-commands that read the port count, types
// and states and set a port's loop mode, type, MFS mode and administrative state. Offsets are
// from the start of the message; shared by the decoders, the simulator's handlers and the fuzz
// harness.
//
// The port-types and port-state answers carry the port count N at offset 20 and per-port byte
// arrays from offset 24; the port-state answer packs seven arrays back to back with stride N.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tv::layout::ports {

namespace subcmd {
inline constexpr std::uint32_t port_state = 0x50;
inline constexpr std::uint32_t set_port_state = 0x52;
inline constexpr std::uint32_t al_disable = 0x5C;
inline constexpr std::uint32_t al_enable = 0x5D;
inline constexpr std::uint32_t set_mfs_mode = 0x5E;
inline constexpr std::uint32_t set_port_type = 0x63;
inline constexpr std::uint32_t port_types = 0x64;
inline constexpr std::uint32_t port_type_follow_up = 0x66;
}  // namespace subcmd

inline constexpr std::size_t count_at = 20;   // N in both answers, and in the state requests
inline constexpr std::size_t arrays_at = 24;  // the first per-port array

inline constexpr std::size_t query_len = 24;        // the port-types query
inline constexpr std::size_t types_ret_len = 52;    // N, then one type code per port
inline constexpr std::size_t state_req_len = 140;
inline constexpr std::size_t state_ret_len = 196;   // N, then seven arrays of N bytes
inline constexpr std::size_t set_state_req_len = 52;  // N, then the whole admin vector
inline constexpr std::size_t set_state_ret_len = 44;

// Setting one port's loop mode, type or MFS mode: the port byte, then the value byte.
inline constexpr std::size_t port_at = 20;
inline constexpr std::size_t value_at = 21;
inline constexpr std::size_t set_port_req_len = 28;
inline constexpr std::size_t set_port_ret_len = 24;
inline constexpr std::size_t set_mfs_ret_len = 28;
inline constexpr std::size_t follow_up_len = 24;

// The arrays of the port-state answer, in their order on the wire.
enum class port_array : std::size_t {
    admin = 0,
    reserved = 1,  // not interpreted
    operational = 2,
    type = 3,
    logged_in = 4,
    al_disabled = 5,
    mfs_mode = 6,
};

// Offset of the first byte of array `a` in a port-state answer with `n` ports.
constexpr std::size_t port_array_at(port_array a, std::uint32_t n) {
    return arrays_at + static_cast<std::size_t>(a) * n;
}

}  // namespace tv::layout::ports
