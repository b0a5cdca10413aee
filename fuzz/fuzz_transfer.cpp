// The upload-block reader on any bytes: the first four input bytes are the offset asked for,
// the fifth says whether an earlier answer fixed the total (then the next four are it), the
// rest is the answer as it arrived. An accepted block is copied into a buffer of exactly the
// total, as the upload does, so that a block outside it is caught by the sanitizers; a block
// outside the answer, the 480-byte room or the total, or an empty block before the end aborts.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "proto/transfer/decode.h"

namespace {

namespace U = tv::layout::transfer::upload;

std::uint32_t word(const std::uint8_t* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 9) return 0;
    const std::uint32_t offset = word(data);
    const std::optional<std::uint32_t> expected =
        data[4] & 1 ? std::optional<std::uint32_t>(word(data + 5)) : std::nullopt;
    const tv::wire::cbytes answer{data + 9, size - 9};
    std::array<std::uint8_t, U::ret_len> resp{};
    std::copy_n(answer.begin(), std::min(answer.size(), resp.size()), resp.begin());
    const std::size_t received = std::min(answer.size(), resp.size());

    const auto b = tv::decode_upload_block(resp, received, offset, expected);
    if (!b) return 0;
    if (b->total > tv::max_upload_len || (expected && *expected != b->total)) std::abort();
    if (b->length > U::max_block || U::data + b->length + 4 > received) std::abort();
    if (offset > b->total || b->length > b->total - offset) std::abort();
    if (b->length == 0 && offset < b->total) std::abort();
    std::vector<std::uint8_t> buffer(b->total);
    tv::wire::get_bytes(resp, U::data, buffer.data() + offset, b->length);
    return 0;
}
