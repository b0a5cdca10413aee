// The readers of port diagnostics and port status on any bytes, each answer read from a buffer
// of the size the operation uses (the input cut or zero-padded to it) and from the input at its
// own length. A write outside a record, counter word 0 written, more test ports than 16, a port
// accepted beyond the state vector's count, more loop devices than the answer claims or holds,
// or an initiator read beyond the table's room aborts (or trips the sanitizers).
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "guarded.h"
#include "proto/diag/decode.h"
#include "proto/ports/decode.h"
#include "proto/topology/decode.h"
#include "tv_api/operations/port_status_decode.h"

namespace {

namespace D = tv::layout::diag;

void check_counters(tv::wire::cbytes resp) {
    guarded<tv_port_counters> g;
    tv::decode_port_counters(resp, g.rec);
    g.check();
    if (g.rec.counter[0] != 0xA5A5A5A5u) std::abort();
}

void check_test_status(tv::wire::cbytes resp) {
    guarded<tv_test_status_info> g;
    tv::decode_test_status(resp, g.rec);
    g.check();
    if (g.rec.port_count > TV_TEST_PORTS || g.rec.reserved != 0) std::abort();
    for (std::size_t i = g.rec.port_count; i < TV_TEST_PORTS; ++i)
        if (g.rec.port_test_count[i] != 0xA5A5A5A5u) std::abort();
}

void check_port_status(tv::wire::cbytes resp, std::uint32_t port, const tv_initiators& table) {
    tv_port_status st{};
    if (tv::decode_port_fixed(resp, port, st)) {
        const auto n = tv::decode_port_count(resp);
        if (!n || port >= *n || st.type > 0xFF || st.logged_in > 0xFF) std::abort();
    }
    st.port = port;
    if (tv::decode_loop_devices(resp, st) == TV_OK) {
        if (st.loop.count > tv::decode_al_loop(resp).count || st.loop.count > tv::layout::topology::al::max_alpas)
            std::abort();
        tv::match_initiators(table, st);  // reads every device's arrays: the sanitizers watch them
    }
    st.type = TV_PORT_TYPE_FL;
    tv_free_port_status(&st);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tv::wire::cbytes input{data, size};
    std::array<std::uint8_t, tv::layout::topology::al::ret_len> work{};
    std::copy_n(data, std::min(size, work.size()), work.begin());
    const auto as_response = [&](std::size_t len) { return tv::wire::cbytes{work.data(), len}; };

    check_counters(as_response(D::counters::ret_len));
    check_counters(input);
    check_test_status(as_response(D::status::ret_len));
    check_test_status(input);
    // The input also serves as an initiator table, whatever count it claims.
    tv_initiators table{};
    std::memcpy(&table, data, std::min(size, sizeof table));
    const std::uint32_t port = size > 0 ? data[size - 1] : 0;
    check_port_status(as_response(tv::layout::ports::state_ret_len), port, table);
    check_port_status(as_response(tv::layout::topology::al::ret_len), port, table);
    check_port_status(input, port, table);
    return 0;
}
