// Messages of chassis-wide commands, shared by the operations, the simulator's handlers and the
// fuzz harnesses.
//
// The reset message is the one request without a checksum word: a bare 16-byte header (command
// 0x0F, length field 0) whose last word, where the sequence number would be, carries the
// checksum of bytes 0 to 11.
//
// The configuration-parameter message (command 0x30, 116 bytes) carries the switch parameter
// block in bytes 20-87; reads (sub-command 1 active, 3 saved) return it and a write
// (sub-command 4) sends it back at the same offsets:
//
//   20      number of ports          (read only)
//   21-22   not interpreted
//   23      stage type               0 = not a crosslink stage
//   24-25   not interpreted
//   26-27   MFS_TOV (16-bit)
//   28-31   RT_TOV
//   32-35   RA_TOV
//   36-39   ED_TOV
//   40-55   per-port setting A       one byte per port, not interpreted
//   56-71   per-port force-F_Port flag
//   72-87   per-port MFS mode
//   88-111  not interpreted          carried unchanged
//   112-115 checksum
//
// One-byte settings (chassis mode, chassis type) travel in 28-byte messages: the sub-command
// word at 16, the value at 20, bytes 21-23 (the chassis-type answer carries the SL-zoning flag
// in 21), the checksum at 24.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tv::layout::chassis {

inline constexpr std::size_t reset_len = 16;
inline constexpr std::size_t reset_checksum_at = 12;

namespace subcmd {
inline constexpr std::uint32_t read_active = 1;
inline constexpr std::uint32_t read_saved = 3;
inline constexpr std::uint32_t write_params = 4;
inline constexpr std::uint32_t save_active = 6;
inline constexpr std::uint32_t get_chassis_mode = 0x20;
inline constexpr std::uint32_t set_chassis_mode = 0x24;
inline constexpr std::uint32_t get_chassis_type = 0x38;
inline constexpr std::uint32_t set_chassis_type = 0x39;
}  // namespace subcmd

namespace value_msg {
inline constexpr std::size_t len = 28;
inline constexpr std::size_t value_at = 20;
inline constexpr std::size_t sl_zoning_at = 21;  // in the chassis-type answer
}  // namespace value_msg

inline constexpr std::size_t bare_subcmd_len = 24;

// Chassis modes.
inline constexpr std::uint8_t mode_online = 1;
inline constexpr std::uint8_t mode_offline = 2;
inline constexpr std::uint8_t mode_test = 3;
// The chassis type of a stage chassis; any other value is a hub.
inline constexpr std::uint8_t type_stage = 1;

namespace param {
inline constexpr std::size_t len = 116;
inline constexpr std::size_t read_req_len = 24;   // the 24-byte read of the defaults loader
inline constexpr std::size_t write_ret_len = 24;  // what a write is answered with
inline constexpr std::size_t block_at = 20;
inline constexpr std::size_t block_len = 68;
inline constexpr std::size_t block_end = block_at + block_len;
inline constexpr std::size_t port_count = 20;
inline constexpr std::size_t stage_type = 23;
inline constexpr std::size_t mfs_tov = 26;
inline constexpr std::size_t rt_tov = 28;
inline constexpr std::size_t ra_tov = 32;
inline constexpr std::size_t ed_tov = 36;
inline constexpr std::size_t setting_a = 40;
inline constexpr std::size_t force_f_port = 56;
inline constexpr std::size_t mfs_mode = 72;
inline constexpr std::size_t per_port = 16;  // ports the per-port arrays have room for
inline constexpr std::size_t tail_at = block_end;
inline constexpr std::size_t tail_len = 24;
}  // namespace param

}  // namespace tv::layout::chassis
