// Readers of the port-counter and test-status answers, through wire.h: a short or hostile
// answer reads as zeros instead of past its end.
#include "proto/diag/decode.h"

#include <algorithm>

namespace tv {

namespace L = layout::diag;

void decode_port_counters(wire::cbytes resp, tv_port_counters& out) {
    for (std::size_t k = L::counters::first_word; k < L::counters::words; ++k)
        out.counter[k] = wire::get_be32(resp, L::counters::words_at + 4 * k);
}

void decode_test_status(wire::cbytes resp, tv_test_status_info& out) {
    namespace S = L::status;
    static_assert(S::max_ports == TV_TEST_PORTS);
    out.status_b0 = wire::get_u8(resp, S::b0);
    out.port_count = std::min<std::uint8_t>(wire::get_u8(resp, S::port_count), TV_TEST_PORTS);
    out.status_b2 = wire::get_u8(resp, S::b2);
    out.reserved = 0;
    out.test_fail_cnt = static_cast<std::int32_t>(wire::get_be32(resp, S::fail_cnt));
    for (std::size_t i = 0; i < out.port_count; ++i) {
        out.port_test_status[i] = wire::get_u8(resp, S::port_status + i);
        out.port_test_count[i] = wire::get_be32(resp, S::port_test_count + 4 * i);
        out.port_fail_count[i] = wire::get_be32(resp, S::port_fail_count + 4 * i);
    }
}

}  // namespace tv
