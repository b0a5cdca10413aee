// The plain functions that read the name-server and initiator answers (name_server_layout.h).
//
// Symbolic names are cut at their length byte and at the room of the record; the initiator
// count is refused above the 16 entries that the answer and the record hold. Kept apart from
// the operations so that the fuzz harness can drive the readers with arbitrary bytes.
#pragma once

#include <cstdint>

#include "proto/name_server/layout.h"
#include "proto/wire.h"
#include "telvar/tv_api.h"

namespace tv {

// Whether a first-half answer refused the query, and the reason it gave.
struct ns_refusal {
    bool refused = false;
    std::uint8_t reason = 0;
    bool end_of_list() const { return refused && reason == layout::name_server::reason_no_object; }
};
ns_refusal decode_ns_refusal(wire::cbytes port_half);

// Fills a zeroed entry from the two halves of an object.
void decode_ns_entry(wire::cbytes port_half, wire::cbytes node_half, tv_nameserver_entry& out);

// Fills a zeroed record from an initiator answer; false, leaving it untouched, when the count
// is above the 16 entries that fit.
bool decode_initiators(wire::cbytes resp, tv_initiators& out);

}  // namespace tv
