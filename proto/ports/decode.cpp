// Readers of the port-types and port-state responses. They take the message as a span and go
// through wire.h, so a short or hostile message reads as zeros instead of past its end.
#include "proto/ports/decode.h"

namespace tv {

std::optional<std::uint32_t> decode_port_count(wire::cbytes resp) {
    const std::uint32_t n = wire::get_u8(resp, layout::ports::count_at);
    if (n > TV_MAX_PORTS) return std::nullopt;
    return n;
}

void decode_port_bytes(wire::cbytes resp, std::size_t first, std::span<std::uint8_t> out) {
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = wire::get_u8(resp, first + i);
}

void decode_port_state(wire::cbytes resp, std::uint32_t n, std::span<tv_port_state_entry> out) {
    const std::size_t admin_at = port_array_at(port_array::admin, n);
    const std::size_t oper_at = port_array_at(port_array::operational, n);
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i].operational = wire::get_u8(resp, oper_at + i);
        out[i].admin = wire::get_u8(resp, admin_at + i);
    }
}

std::uint32_t encode_admin_vector(wire::cbytes current, std::int32_t port, std::uint8_t state,
                                  wire::bytes req) {
    const std::uint32_t n = decode_port_count(current).value_or(0);
    const std::size_t admin_at = port_array_at(port_array::admin, n);
    for (std::uint32_t i = 0; i < n; ++i) {
        const bool changed = port == TV_ALL_PORTS || static_cast<std::int64_t>(port) == i;
        wire::put_u8(req, layout::ports::arrays_at + i,
                     changed ? state : wire::get_u8(current, admin_at + i));
    }
    return n;
}

}  // namespace tv
