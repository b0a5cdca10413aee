// The message header and checksum of the management protocol: the field offsets, encoding and
// decoding of the 16 header bytes, the byte-sum checksum and the meaning of the status byte.
// Pure functions over bytes, shared by the library, the simulator, the fuzzers and the
// dissector's name generator.
#pragma once

#include <cstddef>
#include <cstdint>

#include "proto/wire.h"
#include "telvar/tv_api.h"

namespace tv {

// Offsets of the header fields and of the configuration sub-command word.
namespace off {
inline constexpr std::size_t status = 2;
inline constexpr std::size_t dest = 5;
inline constexpr std::size_t command = 8;
inline constexpr std::size_t length = 10;
inline constexpr std::size_t seq = 12;
inline constexpr std::size_t subcmd = 16;
}  // namespace off

// Decodes the 16 header bytes of a message (zeros for a message shorter than 16 bytes).
tv_msg_header decode_header(wire::cbytes msg);
// Encodes a header; hdr_length and everything else as given.
void encode_header(wire::bytes msg, const tv_msg_header& hdr);
// Status byte of a response header -> status code (0, 201, 107, 202 or 200).
constexpr int32_t status_from_byte(std::uint8_t b) {
    switch (b) {
        case TV_HDR_STATUS_OK: return TV_OK;
        case TV_HDR_STATUS_UNKNOWN: return TV_ERR_NOT_RECOGNIZED;
        case TV_HDR_STATUS_BUSY: return TV_ERR_SWITCH_BUSY;
        case TV_HDR_STATUS_LOGIN: return TV_ERR_LOGIN_REQUIRED;
        default: return TV_ERR_SWITCH;
    }
}

// Unsigned byte sum of `bytes`.
std::uint32_t byte_sum(wire::cbytes bytes);
// Stores the checksum of `msg` in its last 4 bytes and returns it.
std::uint32_t set_checksum(wire::bytes msg);
// Whether the last 4 bytes of `msg` hold the byte sum of the bytes before them.
bool checksum_ok(wire::cbytes msg);

}  // namespace tv
