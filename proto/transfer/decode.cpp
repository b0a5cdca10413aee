#include "proto/transfer/decode.h"

#include <algorithm>

#include "telvar/utilmsg.h"

namespace tv {

std::optional<upload_block> decode_upload_block(wire::cbytes resp, std::size_t received,
                                                std::uint32_t offset,
                                                std::optional<std::uint32_t> expected_total) {
    namespace U = layout::transfer::upload;
    received = std::min(received, resp.size());
    const upload_block b{wire::get_be32(resp, U::total), wire::get_be16(resp, U::block_len)};
    if (b.total == U::no_store || b.total > max_upload_len) return std::nullopt;
    if (expected_total && *expected_total != b.total) return std::nullopt;
    if (b.length > U::max_block || received < TV_CHKSUM_LEN ||
        U::data + b.length > received - TV_CHKSUM_LEN)
        return std::nullopt;
    if (offset > b.total || b.length > b.total - offset) return std::nullopt;
    if (b.length == 0 && offset < b.total) return std::nullopt;
    return b;
}

}  // namespace tv
