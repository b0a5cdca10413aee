// What the exchange and tv_listen do with a received datagram: header decoding, checksum
// check and status mapping, on datagrams of any length and content.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

#include "proto/header.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::array<std::uint8_t, TV_MAX_MSG_LEN> work{};
    const std::size_t n = std::min(size, work.size());
    std::copy_n(data, n, work.begin());
    const tv::wire::cbytes got{work.data(), n};
    const tv_msg_header h = tv::decode_header(got);
    if (n < TV_HDR_LEN && h.hdr_seq != 0) std::abort();
    (void)tv_verify_chksum(work.data(), static_cast<int32_t>(n));
    const int32_t code = check_flags(work.data());
    if (code != 0 && code != 200 && code != 201 && code != 107 && code != 202) std::abort();
    return 0;
}
