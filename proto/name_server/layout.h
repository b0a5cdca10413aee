// Messages of the name server (header command 0x33) and of the initiator table (configuration
// sub-command 0x61). Offsets are from the start of the message; shared by the decoders, the
// simulator's handlers and the fuzz harness.
//
// A name-server object comes in two halves, one per query: the port part (with the refusal
// byte and its reason) and the node part. Query and answers are 520 bytes each.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tv::layout::name_server {

inline constexpr std::size_t msg_len = 520;
inline constexpr std::size_t query_at = 16, half_at = 24, port_id_at = 28;

// The query word at offset 16.
namespace query {
inline constexpr std::uint32_t object = 1;     // the object at the address
inline constexpr std::uint32_t next = 2;       // the first object after the address
inline constexpr std::uint32_t node_name = 4;  // the node part of the object at the address
}  // namespace query

namespace half {
inline constexpr std::uint16_t port = 0;
inline constexpr std::uint16_t node = 1;
}  // namespace half

namespace port_half {
inline constexpr std::size_t refused = 21, reason = 23, port = 27, port_type = 28, port_id = 29,
                             port_wwn = 32, symname_len = 40, symname = 41;
}
// The reason of a refusal that means "no such object": the end of the list.
inline constexpr std::uint8_t reason_no_object = 0x12;

namespace node_half {
inline constexpr std::size_t node_wwn = 28, symname_len = 36, symname = 37, ipa = 292,
                             ip_addr = 300, cos = 316, fc4_types = 320;
inline constexpr std::size_t ipa_words = 2, ip_words = 4, fc4_words = 8;
}  // namespace node_half

inline constexpr std::size_t symname_max = 255;

namespace initiators {
inline constexpr std::uint32_t subcmd = 0x61;
inline constexpr std::size_t req_len = 28, ret_len = 380;
inline constexpr std::size_t count = 22, port = 24, alpa = 40, value = 56, node_wwn = 120,
                             port_wwn = 248;
inline constexpr std::size_t max = 16;  // the room of every array
}  // namespace initiators

}  // namespace tv::layout::name_server
