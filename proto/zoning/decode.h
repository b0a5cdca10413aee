// The plain functions that read and write the zone messages (zoning_layout.h).
//
// Every count an answer carries is bounded here once: the bytes of a zone bitmap by its 8 bytes
// of room, the SL port count by the 24 ports the message has room for, a WWN page by its 8
// entries. Kept apart from the operations so that the fuzz harness can drive them with
// arbitrary bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "proto/wire.h"
#include "proto/zoning/layout.h"

namespace tv {

// ---- Blocks of bitmap zones ----

// P, the ports each zone bitmap of a block covers (byte 25); the size of a zone's port array.
std::uint32_t zone_block_ports(wire::cbytes block);
// The bitmap bytes of each zone that are read or written: P / 8, at most the bitmap's 8.
std::size_t zone_bitmap_bytes(wire::cbytes block);
bool zone_enabled(wire::cbytes block, std::uint32_t z);
// The member ports of zone z (0 to 15) of the block, ascending, into `out`; returns how many.
// Stops when `out` is full.
std::uint32_t decode_zone_members(wire::cbytes block, std::uint32_t z, std::span<std::uint32_t> out);
// The number of zones of a zone set, from the set's first block: 16 for hard and broadcast
// zones; for name-server zones the count byte, plus one when it or the enabled mask is above 1.
std::uint32_t decode_zone_count(wire::cbytes block, std::uint32_t type);
// Writes zone z of a block: its enabled bit and its bitmap (cleared first, zone_bitmap_bytes of
// it). Returns false, writing nothing, when a port lies outside those bytes.
bool encode_zone(wire::bytes block, std::uint32_t z, bool enabled,
                 std::span<const std::uint32_t> ports);

// ---- SL zones ----

// The port count of an SL read answer; nullopt above the message's room.
std::optional<std::uint32_t> decode_sl_port_count(wire::cbytes resp);
std::uint16_t sl_zone_id(wire::cbytes resp, std::uint32_t port);
// The ports of the first `n` whose zone id is `id`, ascending, into `out`; returns how many.
std::uint32_t decode_sl_zone_members(wire::cbytes resp, std::uint32_t n, std::uint16_t id,
                                     std::span<std::uint32_t> out);
// The distinct zone ids of the first `n` ports, in order of first appearance, into `out`
// (zeroed first); returns how many.
std::uint32_t decode_zone_list(wire::cbytes resp, std::uint32_t n, std::span<std::uint16_t> out);

// ---- WWN zone pages ----

// Entries of a page to copy: total - first, within 0 to 8.
std::uint32_t wwn_page_entries(std::int32_t total, std::int32_t first);

}  // namespace tv
