// Waiting for one unsolicited message (trap events, answers to raw messages): the first
// well-formed, checksummed datagram that reaches the context's socket, whoever sent it.
#include <poll.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "tv_inter.h"

extern "C" int32_t tv_listen(tv_context* ctx, void* buf, int32_t capacity, int32_t timeout_ms) {
    const size_t cap = capacity > 0 ? static_cast<size_t>(capacity) : 0;
    if (buf != nullptr) std::memset(buf, 0, cap);
    if (ctx == nullptr || (buf == nullptr && cap > 0)) return tv::fail(TV_ERR_PARAM);

    pollfd p{ctx->sock, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, std::max(timeout_ms, 0));
    } while (r < 0 && errno == EINTR);
    // A failing wait is reported like silence, at once: there is nothing to read.
    if (r <= 0 || (p.revents & POLLNVAL)) return tv::fail(TV_ERR_NO_RESPONSE);

    log_info("Msg received\n");
    std::array<std::uint8_t, TV_MAX_MSG_LEN> work{};
    const int32_t n = tv_recv(ctx, work.data(), static_cast<int32_t>(work.size()));
    if (n < TV_HDR_LEN) return tv::fail(TV_ERR_NO_RESPONSE);
    if (!tv_verify_chksum(work.data(), n)) return tv::fail(TV_ERR_CHECKSUM);
    if (const int32_t code = check_flags(work.data()); code != TV_OK) return code;
    std::memcpy(buf, work.data(), std::min(cap, work.size()));
    return tv::fail(TV_OK);
}
