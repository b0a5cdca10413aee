// Messages of topology, loop status and routing: configuration sub-commands that carry a port
// byte at offset 20. Offsets are from the start of the message; shared by the decoders, the
// simulator's handlers and the fuzz harness.
//
// The topology answer holds one 12-byte entry per port, 16 to a message; a switch with more
// ports answers the same request again with the next entries. The routing answer holds three
// 64-byte tables indexed by destination chassis number.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tv::layout::topology {

namespace subcmd {
inline constexpr std::uint32_t topology = 0x10;
inline constexpr std::uint32_t al_port_status = 0x57;
inline constexpr std::uint32_t port_steering = 0x7D;
}  // namespace subcmd

// Every request of the family: the port byte and nothing else.
inline constexpr std::size_t req_len = 28;
inline constexpr std::size_t port_at = 20;

namespace topo {
inline constexpr std::size_t ret_len = 224;
inline constexpr std::size_t count = 21, info1 = 22, info2 = 23, fc_addr = 24, entries = 28;
inline constexpr std::size_t entry_len = 12, per_page = 16;
// Fields of an entry, from its first byte; a remote address of 0 means no link.
inline constexpr std::size_t remote_chassis = 0, entry_info1 = 1, entry_info2 = 2,
                             local_fc_addr = 4, remote_fc_addr = 8;
constexpr std::size_t entry_at(std::size_t i) { return entries + entry_len * i; }
}  // namespace topo

// Arbitrated-loop status of one port: the device count D, the port's own loop address, the FC
// address the device addresses are built on and one ALPA per device.
namespace al {
inline constexpr std::size_t ret_len = 288;
inline constexpr std::size_t port = 20, count = 21, loop_addr = 23, base_addr = 24, alpas = 28;
inline constexpr std::size_t max_alpas = ret_len - 4 - alpas;  // room before the checksum
}  // namespace al

namespace steering {
inline constexpr std::size_t ret_len = 220;
inline constexpr std::size_t info1 = 20, info2 = 21, table0 = 24, route_valid = 88,
                             route_port = 152, table_len = 64;
}  // namespace steering

// The parts of a Fibre Channel address: chassis in bits 14 to 19, port in bits 8 to 13.
constexpr std::uint8_t chassis_of(std::uint32_t fc_addr) {
    return static_cast<std::uint8_t>((fc_addr >> 14) & 0x3F);
}
// The domain and chassis bits of an address: what a switch answers to, whatever port and
// loop address follow.
inline constexpr std::uint32_t chassis_mask = 0xFFC000u;
constexpr std::uint32_t switch_addr_of(std::uint32_t fc_addr) { return fc_addr & chassis_mask; }
constexpr std::uint32_t port_of(std::uint32_t fc_addr) { return (fc_addr & 0x3F00) >> 8; }
// The address of a device on a port: the switch's domain and area bits, the port, the ALPA.
constexpr std::uint32_t device_addr(std::uint32_t switch_addr, std::uint32_t port,
                                    std::uint8_t alpa) {
    return (switch_addr & 0xFFFFC000u) + (port << 8) + alpa;
}

}  // namespace tv::layout::topology
