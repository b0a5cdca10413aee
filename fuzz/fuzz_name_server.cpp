// The name-server and initiator readers on any bytes: the input is split into the two halves
// of an object (each cut or zero-padded to 520 bytes) and read at its own length as both. An
// address wider than 24 bits, a node name without its terminator, a port name longer than its
// length byte, an initiator count above 16, a record changed by a refused count or a write
// outside a record aborts; so does an object whose JSON text (as a snapshot writes it) does not
// parse, whatever bytes its names hold.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "guarded.h"
#include "proto/name_server/decode.h"
#include "telvar/data/json_records.h"

namespace {

namespace L = tv::layout::name_server;

void check_entry(tv::wire::cbytes port_half, tv::wire::cbytes node_half) {
    (void)tv::decode_ns_refusal(port_half);
    guarded<tv_nameserver_entry> e(0);  // the operations decode into zeroed records
    tv::decode_ns_entry(port_half, node_half, e.rec);
    e.check();
    if (e.rec.port_id > 0xFFFFFF) std::abort();
    if (std::memchr(e.rec.node_symname, 0, sizeof e.rec.node_symname) == nullptr) std::abort();
    const std::size_t port_len = strnlen(e.rec.port_symname, sizeof e.rec.port_symname);
    if (port_len > tv::wire::get_u8(port_half, L::port_half::symname_len)) std::abort();
    std::string text;
    telvar::json::put_device(text, e.rec);
    if (nlohmann::json::parse(text, nullptr, false).is_discarded()) std::abort();
}

void check_initiators(tv::wire::cbytes resp) {
    guarded<tv_initiators> t(0);
    const bool ok = tv::decode_initiators(resp, t.rec);
    t.check();
    if (ok && t.rec.count > L::initiators::max) std::abort();
    if (!ok) {
        const std::array<std::uint8_t, sizeof(tv_initiators)> zero{};
        if (std::memcmp(zero.data(), &t.rec, zero.size()) != 0) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tv::wire::cbytes input{data, size};
    std::array<std::uint8_t, L::msg_len> port_half{}, node_half{};
    std::copy_n(data, std::min(size, port_half.size()), port_half.begin());
    if (size > port_half.size())
        std::copy_n(data + port_half.size(), std::min(size - port_half.size(), node_half.size()),
                    node_half.begin());
    check_entry(port_half, node_half);
    check_entry(input, input);
    check_initiators({port_half.data(), L::initiators::ret_len});
    check_initiators(input);
    return 0;
}
