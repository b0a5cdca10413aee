// Messages of port zoning, WWN zoning and the name-server zoning type. Offsets are from the
// start of the message; shared by the operations, the readers, the simulator's handlers and the
// fuzz harness.
//
// Hard, name-server and broadcast zones travel in blocks of 16 zones, each zone a port bitmap of
// 8 bytes (bit b of byte k: port 8k + b). SL zones are one 16-bit zone id per port. WWN zones are
// a table of 40-byte entries (WWN, then a 256-bit zone bitmap of eight 32-bit words), read a page
// of 8 entries at a time.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tv::layout::zoning {

// Zone type codes, and the room of each table.
inline constexpr std::uint32_t hard = 1;
inline constexpr std::uint32_t name_server = 2;
inline constexpr std::uint32_t broadcast = 3;
inline constexpr std::uint32_t sl = 4;
inline constexpr std::uint32_t hard_zones = 16;
inline constexpr std::uint32_t name_server_zones = 256;
inline constexpr std::uint32_t broadcast_zones = 16;
inline constexpr std::uint32_t max_sl_zone_id = 0xFFFF;

// The key of a sub-command: the zone type, plus one of these.
inline constexpr std::uint32_t key_write = 0x200;
inline constexpr std::uint32_t key_saved = 0x400;
inline constexpr std::uint32_t key_save = 0x600;

namespace subcmd {
// Reads (active, then saved variant), writes and saves of each zone type.
inline constexpr std::uint32_t read_hard = 0x26, read_saved_hard = 0x28;
inline constexpr std::uint32_t write_hard = 0x3A, save_hard = 0x31;
inline constexpr std::uint32_t read_ns = 0x2D, read_saved_ns = 0x2E;
inline constexpr std::uint32_t write_ns = 0x2F, save_ns = 0x33;
inline constexpr std::uint32_t read_bcst = 0x2A, read_saved_bcst = 0x2B;
inline constexpr std::uint32_t write_bcst = 0x2C, save_bcst = 0x32;
inline constexpr std::uint32_t read_sl = 0x79, read_saved_sl = 0x7A;
inline constexpr std::uint32_t write_sl = 0x78, save_sl = 0x7B;

inline constexpr std::uint32_t read_wwn_page = 0x3C;
inline constexpr std::uint32_t write_wwn_entry = 0x40;
inline constexpr std::uint32_t save_wwn = 0x41;
inline constexpr std::uint32_t reset_wwn = 0x42;

inline constexpr std::uint32_t get_ns_zoning_type = 0x43;
inline constexpr std::uint32_t set_ns_zoning_type = 0x44;
}  // namespace subcmd

// A block of 16 bitmap zones, both ways.
namespace block {
inline constexpr std::size_t len = 160;
inline constexpr std::uint32_t zones = 16;
inline constexpr std::size_t mask_at = 20;         // bit z: zone start + z is enabled
inline constexpr std::size_t ports_at = 25;        // P, the ports each bitmap covers
inline constexpr std::size_t start_at = 26;        // zone id of the first zone of the block
inline constexpr std::size_t count_at = 27;        // read for name-server zones only
inline constexpr std::size_t bitmaps_at = 28;
inline constexpr std::size_t bitmap_len = 8;       // so at most 64 ports a zone
inline constexpr std::uint32_t bitmap_ports = 8 * bitmap_len;
constexpr std::size_t bitmap_at(std::uint32_t z) { return bitmaps_at + bitmap_len * z; }
}  // namespace block

// SL zones: a read answers the port count and one zone id per port from offset 24; a write
// carries one zone id per port from offset 20. Room for 24 ports either way.
namespace sl_msg {
inline constexpr std::size_t read_len = 76;
inline constexpr std::size_t write_len = 72;
inline constexpr std::size_t count_at = 20;
inline constexpr std::size_t read_ids_at = 24;
inline constexpr std::size_t write_ids_at = 20;
inline constexpr std::uint32_t max_ports = 24;
inline constexpr std::uint16_t not_sl_port = 0xFFFF;
}  // namespace sl_msg

// WWN zone table.
namespace wwn {
inline constexpr std::size_t page_req_len = 36;   // sent from a 356-byte buffer
inline constexpr std::size_t page_len = 356;
inline constexpr std::size_t first_at = 20;       // index of the first entry of the page
inline constexpr std::size_t total_at = 24;       // entries on the switch (signed); 1 in a write
inline constexpr std::size_t entries_at = 32;
inline constexpr std::size_t entry_len = 40;
inline constexpr std::size_t entry_bits_at = 8;   // within an entry
inline constexpr std::size_t wwn_len = 8;
inline constexpr std::uint32_t bit_words = 8;
inline constexpr std::uint32_t page_entries = 8;
inline constexpr std::uint32_t zones = 256;
inline constexpr std::size_t reset_len = 28;
inline constexpr std::size_t reset_mode_at = 20;
constexpr std::size_t entry_at(std::uint32_t i) { return entries_at + entry_len * i; }
// The most entries a walk of the table asks for, whatever total a switch claims: a switch that
// announces two thousand million entries would otherwise hold a walk for days.
inline constexpr std::int32_t max_walk_entries = 65536;
}  // namespace wwn

// Reading and setting the name-server zoning type: 28 bytes both ways, the value at 20.
namespace ns_type {
inline constexpr std::size_t len = 28;
inline constexpr std::size_t value_at = 20;
inline constexpr std::uint8_t by_port = 0;
inline constexpr std::uint8_t by_wwn = 1;
}  // namespace ns_type

}  // namespace tv::layout::zoning
