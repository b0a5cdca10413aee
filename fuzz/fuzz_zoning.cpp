// The zone readers and the block writer on any bytes, as a 160-byte block answer, a 76-byte SL
// answer and a WWN page, and at the input's own length: a bitmap read past its 8 bytes, a member
// list that is not ascending or holds a port beyond P, a name-server count beyond 256, an SL
// count beyond 24, a zone list with a repeat, a page of more than 8 entries, or a block write
// that touches anything but the mask and the zone's bitmap aborts.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

#include "proto/zoning/decode.h"

namespace {

namespace Z = tv::layout::zoning;
namespace B = Z::block;
namespace S = Z::sl_msg;

void check_block(tv::wire::cbytes block, std::uint32_t z, std::span<const std::uint32_t> ports) {
    const std::size_t bytes = tv::zone_bitmap_bytes(block);
    if (bytes > B::bitmap_len) std::abort();
    std::array<std::uint32_t, 255> out{};
    const std::uint32_t room = tv::zone_block_ports(block);
    const std::uint32_t n = tv::decode_zone_members(block, z, {out.data(), room});
    if (n > room || n > 8 * bytes) std::abort();
    for (std::uint32_t i = 0; i < n; ++i)
        if (out[i] >= 8 * bytes || (i > 0 && out[i] <= out[i - 1])) std::abort();
    if (tv::decode_zone_count(block, Z::name_server) > Z::name_server_zones) std::abort();

    std::array<std::uint8_t, B::len> copy{};
    std::copy_n(block.begin(), std::min(block.size(), copy.size()), copy.begin());
    std::array<std::uint8_t, B::len> written = copy;
    if (!tv::encode_zone(written, z, z & 1, ports)) return;
    for (std::size_t i = 0; i < written.size(); ++i) {
        const bool mask = i >= B::mask_at && i < B::mask_at + 4;
        const bool bitmap = i >= B::bitmap_at(z) && i < B::bitmap_at(z) + bytes;
        if (!mask && !bitmap && written[i] != copy[i]) std::abort();
    }
    std::array<std::uint32_t, 64> back{};
    if (tv::decode_zone_members(written, z, back) > ports.size()) std::abort();
}

void check_sl(tv::wire::cbytes resp) {
    const auto n = tv::decode_sl_port_count(resp);
    if (!n) return;
    if (*n > S::max_ports) std::abort();
    std::array<std::uint16_t, S::max_ports> list{};
    const std::uint32_t distinct = tv::decode_zone_list(resp, *n, list);
    if (distinct > *n) std::abort();
    for (std::uint32_t i = 0; i < distinct; ++i) {
        if (std::count(list.begin(), list.begin() + distinct, list[i]) != 1) std::abort();
        std::array<std::uint32_t, S::max_ports> members{};
        const std::uint32_t m = tv::decode_sl_zone_members(resp, *n, list[i], members);
        if (m == 0 || m > *n) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::array<std::uint8_t, B::len> block{};
    std::copy_n(data, std::min(size, block.size()), block.begin());
    // Bytes 16 and 17, which no reader looks at, choose the zone and one member to write.
    const std::uint32_t z = size > 16 ? data[16] % 17 : 0;
    const std::array<std::uint32_t, 2> ports{size > 17 ? data[17] : 0u, 0};
    check_block(block, z, ports);
    check_block({data, size}, z, ports);
    check_sl(tv::wire::cbytes{block}.first(S::read_len));
    check_sl({data, size});
    const auto total = static_cast<std::int32_t>(tv::wire::get_be32({data, size}, Z::wwn::total_at));
    const auto first = static_cast<std::int32_t>(tv::wire::get_be32({data, size}, Z::wwn::first_at));
    if (tv::wwn_page_entries(total, first) > Z::wwn::page_entries) std::abort();
    return 0;
}
