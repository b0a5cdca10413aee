// The plain functions that read and write trap messages, the trap configuration block and the
// listener table (traps_layout.h).
//
// The block has room for 32 trap codes: a code outside it is never read or written here. A
// listener table's count is bounded by the 12 entries its message has room for and by the bytes
// that were received. Kept apart from the operations so that the fuzz harness can drive them
// with arbitrary bytes; the simulator builds its trap messages and keeps its block with them too.
#pragma once

#include <cstddef>
#include <cstdint>

#include "proto/traps/layout.h"
#include "proto/wire.h"
#include "telvar/traps.h"

namespace tv {

// One trap code's entry of a 300-byte block; `code` must be below TV_TRAP_CODES.
tv_trap_config decode_trap_config(wire::cbytes block, std::uint8_t code);
// Writes the entry of config.code (status, rising, falling); false, with nothing written, for a
// code outside the block.
bool encode_trap_config(wire::bytes block, const tv_trap_config& config);

// Trapping flag and sample interval of a block.
tv_trapping_status decode_trapping(wire::cbytes block);
void encode_trapping(wire::bytes block, const tv_trapping_status& status);

// The fields of a trap message. The source comes from offset 40 when the payload length field
// says the message reaches it, else from the header's address field.
tv_trap_event decode_trap_event(wire::cbytes msg);
// Writes the payload fields of a trap message (the source at offset 40); not the header.
void encode_trap_event(wire::bytes msg, const tv_trap_event& event);

// An entry of the listener table: IPv4 address in network order and UDP port.
struct trap_listener_entry {
    std::uint32_t addr = 0;
    std::uint16_t port = 0;
};
// Entries of a received listener-table answer (`resp` holds the bytes received): the count it
// claims, bounded by the table's room and by what arrived.
std::size_t trap_listener_count(wire::cbytes resp);
trap_listener_entry trap_listener_at(wire::cbytes resp, std::size_t i);
// Writes entry i of a listener-table answer; false when the table has no room for it.
bool encode_trap_listener(wire::bytes resp, std::size_t i, const trap_listener_entry& entry);

}  // namespace tv
