// Readers and writers of the zone messages. They take the message as a span and go through
// wire.h, so a short or hostile message reads as zeros instead of past its end.
#include "proto/zoning/decode.h"

#include <algorithm>

namespace tv {

namespace {

namespace B = layout::zoning::block;
namespace S = layout::zoning::sl_msg;

bool is_member(wire::cbytes block, std::uint32_t z, std::uint32_t port) {
    return (wire::get_u8(block, B::bitmap_at(z) + port / 8) >> (port % 8)) & 1;
}

}  // namespace

std::uint32_t zone_block_ports(wire::cbytes block) { return wire::get_u8(block, B::ports_at); }

std::size_t zone_bitmap_bytes(wire::cbytes block) {
    return std::min<std::size_t>(zone_block_ports(block) / 8, B::bitmap_len);
}

bool zone_enabled(wire::cbytes block, std::uint32_t z) {
    return z < B::zones && ((wire::get_be32(block, B::mask_at) >> z) & 1);
}

std::uint32_t decode_zone_members(wire::cbytes block, std::uint32_t z, std::span<std::uint32_t> out) {
    if (z >= B::zones) return 0;
    const auto ports = static_cast<std::uint32_t>(8 * zone_bitmap_bytes(block));
    std::uint32_t n = 0;
    for (std::uint32_t p = 0; p < ports && n < out.size(); ++p)
        if (is_member(block, z, p)) out[n++] = p;
    return n;
}

std::uint32_t decode_zone_count(wire::cbytes block, std::uint32_t type) {
    if (type != layout::zoning::name_server) return B::zones;
    std::uint32_t c = wire::get_u8(block, B::count_at);
    if (wire::get_be32(block, B::mask_at) > 1 || c > 1) ++c;
    return c;
}

bool encode_zone(wire::bytes block, std::uint32_t z, bool enabled,
                 std::span<const std::uint32_t> ports) {
    const std::size_t bytes = zone_bitmap_bytes(block);
    if (z >= B::zones || std::ranges::any_of(ports, [&](std::uint32_t p) { return p >= 8 * bytes; }))
        return false;
    std::uint32_t mask = wire::get_be32(block, B::mask_at);
    mask = enabled ? mask | (1u << z) : mask & ~(1u << z);
    wire::put_be32(block, B::mask_at, mask);
    for (std::size_t k = 0; k < bytes; ++k) wire::put_u8(block, B::bitmap_at(z) + k, 0);
    for (const std::uint32_t p : ports) {
        const std::size_t at = B::bitmap_at(z) + p / 8;
        wire::put_u8(block, at, static_cast<std::uint8_t>(wire::get_u8(block, at) | 1u << (p % 8)));
    }
    return true;
}

std::optional<std::uint32_t> decode_sl_port_count(wire::cbytes resp) {
    const std::uint32_t n = wire::get_u8(resp, S::count_at);
    if (n > S::max_ports) return std::nullopt;
    return n;
}

std::uint16_t sl_zone_id(wire::cbytes resp, std::uint32_t port) {
    return port < S::max_ports ? wire::get_be16(resp, S::read_ids_at + 2 * port) : S::not_sl_port;
}

std::uint32_t decode_sl_zone_members(wire::cbytes resp, std::uint32_t n, std::uint16_t id,
                                     std::span<std::uint32_t> out) {
    n = std::min(n, S::max_ports);
    std::uint32_t count = 0;
    for (std::uint32_t i = 0; i < n && count < out.size(); ++i)
        if (sl_zone_id(resp, i) == id) out[count++] = i;
    return count;
}

std::uint32_t decode_zone_list(wire::cbytes resp, std::uint32_t n, std::span<std::uint16_t> out) {
    n = std::min(n, S::max_ports);
    std::fill_n(out.begin(), std::min<std::size_t>(n, out.size()), std::uint16_t{0});
    std::uint32_t count = 0;
    for (std::uint32_t i = 0; i < n && count < out.size(); ++i) {
        const std::uint16_t id = sl_zone_id(resp, i);
        if (std::find(out.begin(), out.begin() + count, id) == out.begin() + count) out[count++] = id;
    }
    return count;
}

std::uint32_t wwn_page_entries(std::int32_t total, std::int32_t first) {
    const std::int64_t n = std::int64_t{total} - first;
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(n, 0, layout::zoning::wwn::page_entries));
}

}  // namespace tv
