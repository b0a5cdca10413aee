// The plain functions that read the port-counter and test-status answers (diag_layout.h).
//
// A test-status answer may claim more ports than the record's 16 entries; the count is cut to
// the record's room here, once, so no entry beyond it is read or written. Kept apart from the
// operations so that the fuzz harness can drive the readers with arbitrary bytes.
#pragma once

#include "proto/diag/layout.h"
#include "proto/wire.h"
#include "telvar/tv_api.h"

namespace tv {

// Words 1 to 38 of the record from a counter answer; word 0 is left as it was.
void decode_port_counters(wire::cbytes resp, tv_port_counters& out);

// The leading bytes, the failure count and entries 0 to port_count - 1 of each per-port array;
// port_count is the answer's, cut to TV_TEST_PORTS. Entries beyond it keep what they held.
void decode_test_status(wire::cbytes resp, tv_test_status_info& out);

}  // namespace tv
