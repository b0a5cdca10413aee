// Waiting for one unsolicited message (trap events, answers to raw messages): the first
// well-formed, checksummed datagram that reaches the context's socket, whoever sent it.
#include <poll.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

#include "tv_api/tv_inter.h"

namespace tv {

int32_t listen_message(tv_context* ctx, wire::bytes buf, int32_t timeout_ms) {
    std::fill(buf.begin(), buf.end(), std::uint8_t{0});
    pollfd p{ctx->sock, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, std::max(timeout_ms, 0));
    } while (r < 0 && errno == EINTR);
    // A failing wait is reported like silence, at once: there is nothing to read.
    if (r <= 0 || (p.revents & POLLNVAL)) return TV_ERR_NO_RESPONSE;

    log_info("Msg received\n");
    std::array<std::uint8_t, TV_MAX_MSG_LEN> work{};
    const int32_t n = recv_datagram(ctx, work);
    if (n < TV_HDR_LEN) return TV_ERR_NO_RESPONSE;
    if (!checksum_ok({work.data(), static_cast<std::size_t>(n)})) return TV_ERR_CHECKSUM;
    if (const int32_t code = status_from_byte(work[off::status]); code != TV_OK) return code;
    std::copy_n(work.begin(), std::min(buf.size(), work.size()), buf.begin());
    return TV_OK;
}

}  // namespace tv

extern "C" int32_t tv_listen(tv_context* ctx, void* buf, int32_t capacity, int32_t timeout_ms) {
    const size_t cap = capacity > 0 ? static_cast<size_t>(capacity) : 0;
    if (buf != nullptr) std::memset(buf, 0, cap);
    if (ctx == nullptr || (buf == nullptr && cap > 0)) return tv::publish(TV_ERR_PARAM);
    return tv::publish(tv::listen_message(ctx, {static_cast<std::uint8_t*>(buf), cap}, timeout_ms));
}
