// A trap message as a switch sends it, for the tests of whatever receives traps.
#pragma once

#include <cstdint>
#include <vector>

#include "proto/header.h"
#include "proto/traps/layout.h"
#include "proto/wire.h"
#include "telvar/traps.h"
#include "telvar/utilmsg.h"

namespace tvtest {

// A trap message of 48 bytes, checksummed: the header, then the event's fields at their offsets.
// The source word goes out whole, so that a test can set the bits above an address's 24.
inline std::vector<std::uint8_t> trap_message(const tv_msg_header& hdr, const tv_trap_event& e) {
    namespace E = tv::layout::traps::event_msg;
    std::vector<std::uint8_t> m(E::len);
    tv::encode_header(m, hdr);
    tv::wire::put_u8(m, E::unit, e.unit);
    tv::wire::put_u8(m, E::code, e.code);
    tv::wire::put_u8(m, E::alert, e.alert);
    tv::wire::put_be32(m, E::value, static_cast<std::uint32_t>(e.value));
    tv::wire::put_be32(m, E::change, static_cast<std::uint32_t>(e.change));
    tv::wire::put_be32(m, E::source, e.source);
    tv::set_checksum(m);
    return m;
}

}  // namespace tvtest
