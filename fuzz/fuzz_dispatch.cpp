// The simulator's request dispatch on any bytes: each input is dispatched as it came, then
// with its length field and checksum made right so that the handlers see it too. Every answer
// must frame into a well-formed message, and the fabric must stay sound.
#include <arpa/inet.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "proto/header.h"
#include "switchsim/core/default_fabric.h"
#include "switchsim/core/dispatch.h"

namespace {

const sim::handler_index& index() {
    static const sim::handler_index i = [] {
        std::string why;
        auto built = sim::handler_index::build(sim::all_families(), why);
        if (!built) std::abort();
        return *built;
    }();
    return i;
}

void run(sim::fabric& f, tv::wire::cbytes datagram) {
    const auto r = sim::dispatch(index(), f, 0, datagram, inet_addr("127.0.0.1"), 5001);
    if (r.what != sim::dispatch_result::outcome::answered) return;
    const auto framed = sim::frame_answer(r.answer, datagram, r.status, r.seq);
    if (framed.size() < TV_MIN_MSG_LEN || framed.size() > 2048) std::abort();
    if (tv::wire::get_be16(framed, tv::off::length) != framed.size() - TV_HDR_LEN) std::abort();
    if (!tv::checksum_ok(framed)) std::abort();
    if (tv::wire::get_be32(framed, tv::off::seq) != tv::wire::get_be32(datagram, tv::off::seq))
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const sim::fabric pristine = sim::default_fabric(inet_addr("127.0.0.2"));
    if (size > 2048) return 0;
    sim::fabric f = pristine;
    run(f, {data, size});

    // The same bytes as a well-formed request: room for the checksum, the length field right.
    std::vector<std::uint8_t> req(data, data + size);
    req.resize(std::max<std::size_t>(req.size() + TV_CHKSUM_LEN, TV_MIN_MSG_LEN), 0);
    tv::wire::put_be16(req, tv::off::length, static_cast<std::uint16_t>(req.size() - TV_HDR_LEN));
    tv::set_checksum(req);
    run(f, req);
    if (!sim::check_fabric(f).empty()) std::abort();
    for (const auto& s : f.switches)
        if (s.get<sim::port_state>().active.size() != s.ports.size()) std::abort();
    return 0;
}
