// Readers of the name-server and initiator answers. They take the message as a span and go
// through wire.h, so a short or hostile message reads as zeros instead of past its end.
#include "proto/name_server/decode.h"

#include <algorithm>

namespace tv {

namespace L = layout::name_server;

namespace {

// A symbolic name: its length byte, then the name. At most room - 1 characters are followed
// by a terminating zero; a name that fills the whole field has none (the record is zeroed, so
// a shorter name is terminated by the zeros that follow it).
void decode_symname(wire::cbytes m, std::size_t len_at, std::size_t name_at, char* out,
                    std::size_t room) {
    const std::size_t n = std::min<std::size_t>(wire::get_u8(m, len_at), room);
    wire::get_bytes(m, name_at, out, n);
    if (n < room) out[n] = '\0';
}

}  // namespace

ns_refusal decode_ns_refusal(wire::cbytes port_half) {
    return {wire::get_u8(port_half, L::port_half::refused) != 0,
            wire::get_u8(port_half, L::port_half::reason)};
}

void decode_ns_entry(wire::cbytes p, wire::cbytes n, tv_nameserver_entry& out) {
    namespace P = L::port_half;
    namespace N = L::node_half;
    out.port = wire::get_u8(p, P::port);
    out.port_type = wire::get_u8(p, P::port_type);
    out.port_id = wire::get_be24(p, P::port_id);
    wire::get_bytes(p, P::port_wwn, out.port_wwn, sizeof out.port_wwn);
    decode_symname(p, P::symname_len, P::symname, out.port_symname, sizeof out.port_symname);

    wire::get_bytes(n, N::node_wwn, out.node_wwn, sizeof out.node_wwn);
    decode_symname(n, N::symname_len, N::symname, out.node_symname, sizeof out.node_symname);
    for (std::size_t i = 0; i < N::ipa_words; ++i) out.ipa[i] = wire::get_be32(n, N::ipa + 4 * i);
    // One octet in each word, the first octet in the high byte of the address.
    out.ip_addr = 0;
    for (std::size_t i = 0; i < N::ip_words; ++i)
        out.ip_addr += wire::get_be32(n, N::ip_addr + 4 * i) << (8 * (N::ip_words - 1 - i));
    out.cos = wire::get_be32(n, N::cos);
    for (std::size_t i = 0; i < N::fc4_words; ++i)
        out.fc4_types[i] = wire::get_be32(n, N::fc4_types + 4 * i);
}

bool decode_initiators(wire::cbytes resp, tv_initiators& out) {
    namespace I = L::initiators;
    const std::uint8_t k = wire::get_u8(resp, I::count);
    if (k > I::max) return false;
    out.count = k;
    for (std::size_t i = 0; i < k; ++i) {
        out.port[i] = wire::get_u8(resp, I::port + i);
        out.alpa[i] = wire::get_u8(resp, I::alpa + i);
        out.value[i] = wire::get_be32(resp, I::value + 4 * i);
        wire::get_bytes(resp, I::node_wwn + 8 * i, out.node_wwn[i], 8);
        wire::get_bytes(resp, I::port_wwn + 8 * i, out.port_wwn[i], 8);
    }
    return true;
}

}  // namespace tv
