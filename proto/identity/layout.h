// Messages of switch identity and chassis status: version (command 0x07), chassis status
// (command 0x12) and the configuration sub-commands for sensors, model and system information.
// Offsets are from the start of the message; shared by the decoders, the simulator's handlers
// and the fuzz harness.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tv::layout::identity {

namespace subcmd {
inline constexpr std::uint32_t sensors = 0x200;
inline constexpr std::uint32_t model = 0x202;
inline constexpr std::uint32_t sysconfig = 0x204;
}  // namespace subcmd

// Version: a 20-byte request without payload; the answer carries the version record.
namespace version {
inline constexpr std::size_t req_len = 20, ret_len = 88;
inline constexpr std::size_t flash_rev = 20, hw_rev = 24, prom_rev = 28, info1 = 32, info2 = 52,
                             fc_addr = 56, wwn = 60, mac = 72, info4 = 80;
}  // namespace version

// Model: one code byte.
namespace model {
inline constexpr std::size_t req_len = 24, ret_len = 28;
inline constexpr std::size_t code = 20;
}  // namespace model

// Chassis status: the port count n, power, temperature, two fans, then n transceiver bytes.
namespace status {
inline constexpr std::size_t req_len = 20, ret_len = 116;
inline constexpr std::size_t num_ports = 20, power = 21, temp_status = 23, temperature = 24,
                             fan1_installed = 28, fan2_installed = 29, fan1 = 30, fan2 = 31,
                             gbic = 32;
}  // namespace status

// Sensors: the index of the entry to use, then 12 entries of 4 bytes whose first byte is the
// entry's state code.
namespace sensors {
inline constexpr std::size_t req_len = 24, ret_len = 100;
inline constexpr std::size_t index = 28, entries = 36, entry_len = 4, count = 12;
}  // namespace sensors

// System information: uptime in hundredths of a second and three zero-terminated texts.
namespace sysconfig {
inline constexpr std::size_t req_len = 24, ret_len = 220;
inline constexpr std::size_t uptime = 20, description = 24, text2 = 88, text3 = 152,
                             text_len = 64;
}  // namespace sysconfig

}  // namespace tv::layout::identity
