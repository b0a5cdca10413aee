// The topology, routing and loop-status readers on any bytes, each answer read from a buffer
// of the size the operation uses (the input cut or zero-padded to it) and from the input at its
// own length. The paging of the link list is replayed as the operation runs it: a page with
// more entries than 16, a link list longer than the room allocated for the claimed count, a
// remote port beyond bits 8 to 13, a write outside a record or more ALPAs than asked for or
// held aborts.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "guarded.h"
#include "proto/topology/decode.h"

namespace {

namespace L = tv::layout::topology;
constexpr std::uint8_t fill = 0xA5;

void check_links(tv::wire::cbytes page) {
    const tv::topology_head head = tv::decode_topology_head(page);
    std::vector<tv_switch_link> links(std::max<std::size_t>(head.count, 1));
    std::size_t found = 0;
    std::uint8_t done = 0;
    while (done < head.count) {
        const std::uint8_t n = tv::page_entries(head.count, done);
        if (n == 0 || n > L::topo::per_page || done + n > head.count) std::abort();
        for (std::uint8_t i = 0; i < n; ++i) {
            const tv_switch_link l = tv::decode_topology_entry(page, i, done + i);
            if (l.remote_port > 63 || l.remote_port != L::port_of(l.remote_fc_addr)) std::abort();
            if (l.remote_fc_addr != 0) links.at(found++) = l;
        }
        done = static_cast<std::uint8_t>(done + n);
    }
    if (tv::decode_topology_entry(page, L::topo::per_page, 99).remote_fc_addr != 0) std::abort();
}

void check_steering(tv::wire::cbytes resp) {
    guarded<tv_port_steering> g;
    tv::decode_port_steering(resp, g.rec);
    g.check();
    if (g.rec.fc_addr != 0xA5A5A5A5u) std::abort();  // not part of the routing answer
}

void check_loop(tv::wire::cbytes resp, std::size_t room) {
    std::vector<std::uint8_t> out(room + 16, fill);
    const std::size_t n = tv::decode_al_alpas(resp, {out.data(), room});
    if (n > room || n > tv::decode_al_loop(resp).count || n > L::al::max_alpas) std::abort();
    for (std::size_t i = room; i < out.size(); ++i)
        if (out[i] != fill) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tv::wire::cbytes input{data, size};
    std::array<std::uint8_t, L::al::ret_len> work{};
    std::copy_n(data, std::min(size, work.size()), work.begin());
    const auto as_response = [&](std::size_t len) { return tv::wire::cbytes{work.data(), len}; };

    check_links(as_response(L::topo::ret_len));
    check_links(input);
    check_steering(as_response(L::steering::ret_len));
    check_steering(input);
    // The first byte, read by no reader of the loop status, chooses the room given.
    const std::size_t room = size > 0 ? data[0] : 0;
    check_loop(as_response(L::al::ret_len), room);
    check_loop(input, room);
    return 0;
}
