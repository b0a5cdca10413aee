// Messages of port diagnostics: the port-counter read (a configuration sub-command) and the
// online-test family (command 0x31, a sub-command word at offset 16). Offsets are from the
// start of the message; shared by the decoders, the simulator's handlers and the fuzz harness.
//
// The counter answer carries word k of the counter record at offset 20 + 4k (word 0, at 20, is
// not read). The test-status answer carries three bytes, the failure count of the test, then
// three 16-entry per-port arrays.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tv::layout::diag {

namespace subcmd {
inline constexpr std::uint32_t port_counters = 0x5F;  // of command 0x30
inline constexpr std::uint32_t stop_test = 1;         // of command 0x31, as are the rest
inline constexpr std::uint32_t reset_log = 8;
inline constexpr std::uint32_t test_status = 10;
inline constexpr std::uint32_t start_test = 13;
}  // namespace subcmd

inline constexpr std::size_t port_at = 20;  // the port byte of the counter and test requests

namespace counters {
inline constexpr std::size_t req_len = 28, ret_len = 180;
inline constexpr std::size_t words_at = 20;  // word k at words_at + 4k
inline constexpr std::size_t first_word = 1, words = 39;
}  // namespace counters

inline constexpr std::size_t reset_log_len = 24;

namespace start {
inline constexpr std::size_t len = 40;  // request and answer
inline constexpr std::size_t flag1 = 21, flag2 = 22;  // both 1, not interpreted
inline constexpr std::size_t transfer_size = 24, pattern = 28, passes = 32;
inline constexpr std::uint8_t all_ports = 0xFF;
}  // namespace start

namespace status {
inline constexpr std::size_t req_len = 28, ret_len = 176;
inline constexpr std::size_t b0 = 20, port_count = 21, b2 = 22, fail_cnt = 24;
inline constexpr std::size_t port_status = 28, port_test_count = 44, port_fail_count = 108;
inline constexpr std::size_t max_ports = 16;  // the room of each array
}  // namespace status

// The per-port test state the simulated switch reports (the library does not interpret it).
namespace test_state {
inline constexpr std::uint8_t idle = 0, running = 1, passed = 2, failed = 3, stopped = 4;
}

}  // namespace tv::layout::diag
