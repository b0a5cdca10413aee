// The network-settings message (44 bytes; command 0x84 reads it, 0x85 writes it), shared by the
// operations, the defaults-file parser, the simulator's handlers and the fuzz harness:
//
//   16  IPv4 address        (network order on the wire, like every field)
//   20  subnet mask
//   24  broadcast address
//   28  gateway address
//   32  address assignment  0 fixed, 1 BOOTP, 2 RARP
//   36  ARP timeout
//   40  checksum
//
// A read request is the header alone (20 bytes) or the whole 44-byte message with a zero
// payload; the answer always has the 44-byte layout.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tv::layout::netconfig {

inline constexpr std::uint16_t cmd_read = 0x84;
inline constexpr std::uint16_t cmd_write = 0x85;

inline constexpr std::size_t len = 44;
inline constexpr std::size_t short_req_len = 20;
inline constexpr std::size_t ip_addr = 16;
inline constexpr std::size_t ip_mask = 20;
inline constexpr std::size_t ip_broadcast = 24;
inline constexpr std::size_t ip_gateway = 28;
inline constexpr std::size_t ip_auto = 32;
inline constexpr std::size_t arp_timeout = 36;
inline constexpr std::size_t words = 6;  // the fields, one 32-bit word each, from offset 16

inline constexpr std::uint32_t auto_fixed = 0;
inline constexpr std::uint32_t auto_bootp = 1;
inline constexpr std::uint32_t auto_rarp = 2;

}  // namespace tv::layout::netconfig
