// The reader of upload answers (transfer_layout.h), apart from the operation so that a fuzz
// harness can drive it with any bytes.
//
// An upload answer names the store's total length and one block of it. Before the block is
// copied into the buffer the library allocated for the total, everything the switch said is
// checked against the room it will be written into: the answer it arrived in, the 480 bytes a
// block may have, the total, and the buffer allocated from the first answer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "proto/transfer/layout.h"
#include "proto/wire.h"

namespace tv {

// The largest store an upload accepts: a switch claiming more is refused rather than trusted
// with an allocation and millions of exchanges.
inline constexpr std::uint32_t max_upload_len = 16u << 20;

struct upload_block {
    std::uint32_t total = 0;   // the store's length
    std::uint16_t length = 0;  // of this block, at data offset 32
};

// Checks the answer (`received` bytes of `resp`) to the request for the block at `offset`.
// `expected_total` is the total of the first answer, for the later ones. nullopt when the
// switch has no such store, the total is above max_upload_len or changed, the block does not lie
// inside the answer, the 480-byte room or the total, or it is empty before the total is
// reached (which would ask for the same offset forever).
std::optional<upload_block> decode_upload_block(wire::cbytes resp, std::size_t received,
                                                std::uint32_t offset,
                                                std::optional<std::uint32_t> expected_total);

}  // namespace tv
