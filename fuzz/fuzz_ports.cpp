// The port readers on any bytes, as a port-types and a port-state response and at the input's
// own length: an accepted count above TV_MAX_PORTS, an array that does not lie inside the
// 196-byte message, a value wider than a byte, or a write outside the admin vector of the
// 52-byte request aborts.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

#include "proto/ports/decode.h"

namespace {

using tv::port_array;
namespace L = tv::layout::ports;

constexpr std::size_t set_state_req_len = L::set_state_req_len;
constexpr std::size_t payload_end = L::state_ret_len - TV_CHKSUM_LEN;

void check_state(tv::wire::cbytes resp, std::int32_t port, std::uint8_t state) {
    const auto n = tv::decode_port_count(resp);
    if (!n) return;
    if (*n > TV_MAX_PORTS) std::abort();
    if (tv::port_array_at(port_array::mfs_mode, *n) + *n > payload_end) std::abort();

    std::array<std::uint8_t, TV_MAX_PORTS> bytes{};
    for (std::size_t a = 0; a <= static_cast<std::size_t>(port_array::mfs_mode); ++a)
        tv::decode_port_bytes(resp, tv::port_array_at(static_cast<port_array>(a), *n),
                              {bytes.data(), *n});

    std::array<tv_port_state_entry, TV_MAX_PORTS> entries{};
    tv::decode_port_state(resp, *n, {entries.data(), *n});
    for (const auto& e : entries)
        if (e.admin > 0xFF || e.operational > 0xFF) std::abort();

    std::array<std::uint8_t, set_state_req_len + 16> req{};
    req.fill(0xA5);
    const std::uint32_t written =
        tv::encode_admin_vector(resp, port, state, {req.data(), set_state_req_len});
    if (written != *n) std::abort();
    for (std::size_t i = 0; i < req.size(); ++i) {
        const bool in_vector = i >= L::arrays_at && i < L::arrays_at + written;
        if (!in_vector && req[i] != 0xA5) std::abort();
        const std::size_t p = i - L::arrays_at;
        if (in_vector && (port == TV_ALL_PORTS || port == static_cast<std::int32_t>(p)) &&
            req[i] != state)
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::array<std::uint8_t, L::state_ret_len> work{};
    std::copy_n(data, std::min(size, work.size()), work.begin());
    // The first two bytes, not read by any reader, choose the port (-1 included) and state.
    const std::int32_t port = size > 0 ? static_cast<std::int8_t>(data[0]) : TV_ALL_PORTS;
    const std::uint8_t state = size > 1 ? data[1] : 1;

    const tv::wire::cbytes types{work.data(), L::types_ret_len};
    if (const auto n = tv::decode_port_count(types)) {
        std::array<std::uint8_t, TV_MAX_PORTS> out{};
        if (L::arrays_at + *n > L::types_ret_len - TV_CHKSUM_LEN) std::abort();
        tv::decode_port_bytes(types, L::arrays_at, {out.data(), *n});
    }
    check_state(work, port, state);
    check_state({data, size}, port, state);
    return 0;
}
