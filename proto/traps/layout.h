// Messages of the trap command (0x32): the trap configuration block, the listener table and
// its registration, the trap counters and the trap message itself. Offsets are from the start
// of the message (block offsets from the start of the block); shared by the operations, the
// decoders, the simulator's handlers and the fuzz harness.
//
//   block  0      trapping (1 on, 0 off)      4   sample interval (ms, signed)
//          12+4i  rising threshold of code i  140+4i  falling threshold of code i
//          268+i  status of code i (nonzero: enabled); bytes 1-3 and 8-11 carried unchanged
#pragma once

#include <cstddef>
#include <cstdint>

#include "telvar/traps.h"

namespace tv::layout::traps {

namespace subcmd {
inline constexpr std::uint32_t read_current = 1;
inline constexpr std::uint32_t read_saved = 2;
inline constexpr std::uint32_t write = 4;
inline constexpr std::uint32_t save = 5;
inline constexpr std::uint32_t listeners = 10;
inline constexpr std::uint32_t set_listener = 11;
inline constexpr std::uint32_t set_counter = 0x80;
inline constexpr std::uint32_t add_counter = 0x82;
}  // namespace subcmd

// Reading, saving, the listener-table query; the answers to a write and a save.
inline constexpr std::size_t bare_len = 24;

namespace block {
inline constexpr std::size_t len = TV_TRAP_BLOCK_LEN;
inline constexpr std::size_t codes = TV_TRAP_CODES;
inline constexpr std::size_t trapping = 0;
inline constexpr std::size_t interval = 4;
inline constexpr std::size_t rising = 12;
inline constexpr std::size_t falling = 140;
inline constexpr std::size_t status = 268;
}  // namespace block

namespace read_msg {
inline constexpr std::size_t ret_len = 328;
inline constexpr std::size_t block_at = 24;  // 20-23 not interpreted
}  // namespace read_msg

namespace write_msg {
inline constexpr std::size_t req_len = 324;
inline constexpr std::size_t block_at = 20;
}  // namespace write_msg

// The listener table: a count, then entries of an IPv4 address and a UDP port.
namespace table_msg {
inline constexpr std::size_t ret_len = 172;
inline constexpr std::size_t count_at = 20;
inline constexpr std::size_t entries_at = 24;
inline constexpr std::size_t entry_len = 12;
inline constexpr std::size_t addr = 0, port = 4;
inline constexpr std::size_t max_entries = TV_MAX_TRAP_LISTENERS;
}  // namespace table_msg

// Adding or removing a listener; the answer carries the result at `result`.
namespace listener_msg {
inline constexpr std::size_t len = 32;
inline constexpr std::size_t addr = 20, port = 24, action = 26, result = 27;
inline constexpr std::uint8_t add = 1, remove = 2;
inline constexpr std::uint8_t refused = 2;
}  // namespace listener_msg

namespace counter_msg {
inline constexpr std::size_t req_len = 32, ret_len = 24;
inline constexpr std::size_t index = 20, value_b1 = 21, value = 24;
}  // namespace counter_msg

// A trap message. The source is at `source` when the payload length field reaches it (at
// least `source_len`), else in the header's address field.
namespace event_msg {
inline constexpr std::size_t len = 48;
inline constexpr std::size_t unit = 20, code = 21, alert = 22, value = 32, change = 36;
inline constexpr std::size_t source = 40;
inline constexpr std::size_t source_len = 32;
inline constexpr std::size_t checked_len = 44;  // the checksum covers the bytes before it
}  // namespace event_msg

}  // namespace tv::layout::traps
