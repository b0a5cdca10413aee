// The fields of a request that the switch's answer repeats at the same offset: the sub-command
// word of the command families that have one, the name-server query and half, and the port
// byte of the per-port reads whose answers carry it. The one list of them: the simulator writes
// these fields into its answers, and the library in strict answer mode takes an answer only
// when they hold what its request asked for, so that an answer to another query that happens
// to carry the current sequence number is not read as this one's.
//
// A field counts only where the answer reaches it before its checksum: a refusal is a header
// and carries none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "proto/wire.h"

namespace tv::echo {

struct field {
    std::size_t at;
    std::size_t width;
};

// The fields the answer to `request` repeats (none for commands without echoed fields).
std::span<const field> fields_of(wire::cbytes request);

// Whether `answer` repeats every field of `request` that it carries.
bool repeats(wire::cbytes request, wire::cbytes answer);

// Writes the fields of `request` into `answer` where it has room for them (the switch's side).
void copy_fields(wire::cbytes request, wire::bytes answer);

}  // namespace tv::echo
