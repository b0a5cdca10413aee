// Waiting for one unsolicited message (trap events, answers to raw messages). Outside strict
// mode the first well-formed, checksummed datagram that reaches the context's socket is taken,
// whoever sent it. In strict mode, with rules, a datagram is taken only from the switch the
// context talks to and only when it is what the caller waits for; anything else is read past
// (and counted) within the same time limit, so forged or stray datagrams cannot stand in for
// the switch's, nor make the wait longer.
#include <netinet/in.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "tv_api/tv_inter.h"
#include "tv_api/unsolicited.h"

namespace {

using steady = std::chrono::steady_clock;

// Datagrams are read whole up to this size, so that a length field can be checked against
// what really arrived; a longer one is never a message of ours.
constexpr std::size_t whole_room = 2048;
std::array<std::uint8_t, whole_room> whole_datagram;  // the library is single-threaded
std::uint32_t dropped = 0;

int ms_until(steady::time_point t) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(t - steady::now()).count();
    return static_cast<int>(std::max<std::int64_t>(left, 0));
}

bool wanted(const tv_context* ctx, const sockaddr_in& from, std::size_t length,
            tv::wire::cbytes msg, const tv::listen_rules& rules) {
    if (from.sin_family != AF_INET || from.sin_addr.s_addr != ctx->remote_addr.sin_addr.s_addr)
        return false;
    if (rules.same_port && from.sin_port != ctx->remote_addr.sin_port) return false;
    return !rules.whole || tv::whole_message_fault(length, msg, rules.command) == tv::message_fault::none;
}

// The checks every taken datagram passes, in every mode; `n` bytes of `work` arrived.
int32_t take(tv::wire::cbytes work, int32_t n, tv::wire::bytes buf) {
    if (n < TV_HDR_LEN) return TV_ERR_NO_RESPONSE;
    if (!tv::checksum_ok(work.first(static_cast<std::size_t>(n)))) return TV_ERR_CHECKSUM;
    if (const int32_t code = tv::status_from_byte(work[tv::off::status]); code != TV_OK)
        return code;
    std::copy_n(work.begin(), std::min(buf.size(), work.size()), buf.begin());
    return TV_OK;
}

int32_t listen_strictly(tv_context* ctx, tv::wire::bytes buf, int32_t timeout_ms,
                        const tv::listen_rules& rules) {
    const auto deadline = steady::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
    for (;;) {
        // Past the deadline, one look that does not block still drains what is queued.
        const int r = tv::wait_for_datagram(ctx, ms_until(deadline));
        // A failing wait is reported like silence, at once: there is nothing to read.
        if (r <= 0) return TV_ERR_NO_RESPONSE;
        sockaddr_in from{};
        const ssize_t got = tv::receive_whole(ctx, whole_datagram, from);
        if (got < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
            return TV_ERR_NO_RESPONSE;
        }
        const auto length = static_cast<std::size_t>(got);
        const tv::wire::cbytes msg{whole_datagram.data(), std::min(length, whole_room)};
        if (!wanted(ctx, from, length, msg, rules)) {
            ++dropped;
            if (steady::now() >= deadline) return TV_ERR_NO_RESPONSE;
            continue;
        }
        log_info("Msg received\n");
        std::array<std::uint8_t, TV_MAX_MSG_LEN> work{};
        const std::size_t n = std::min(msg.size(), work.size());
        std::copy_n(msg.begin(), n, work.begin());
        return take(work, static_cast<int32_t>(n), buf);
    }
}

}  // namespace

namespace tv {

message_fault whole_message_fault(std::size_t length, wire::cbytes msg, std::int32_t command) {
    if (length < TV_MIN_MSG_LEN || length > msg.size()) return message_fault::length;
    if (wire::get_be16(msg, off::length) != length - TV_HDR_LEN) return message_fault::length;
    if (command >= 0 && wire::get_be16(msg, off::command) != command) return message_fault::command;
    return checksum_ok(msg.first(length)) ? message_fault::none : message_fault::checksum;
}

int32_t listen_message(tv_context* ctx, wire::bytes buf, int32_t timeout_ms,
                       const listen_rules* rules) {
    std::fill(buf.begin(), buf.end(), std::uint8_t{0});
    if (rules != nullptr && g_strict_answers) return listen_strictly(ctx, buf, timeout_ms, *rules);
    if (wait_for_datagram(ctx, timeout_ms) != 1) return TV_ERR_NO_RESPONSE;

    log_info("Msg received\n");
    std::array<std::uint8_t, TV_MAX_MSG_LEN> work{};
    const int32_t n = recv_datagram(ctx, work);
    return take(work, n, buf);
}

}  // namespace tv

extern "C" int32_t tv_listen(tv_context* ctx, void* buf, int32_t capacity, int32_t timeout_ms) {
    const size_t cap = capacity > 0 ? static_cast<size_t>(capacity) : 0;
    if (buf != nullptr) std::memset(buf, 0, cap);
    if (ctx == nullptr || (buf == nullptr && cap > 0)) return tv::publish(TV_ERR_PARAM);
    // Unsolicited messages come from the switch's address, from whatever port it sends them.
    static constexpr tv::listen_rules from_switch{false, true, -1};
    return tv::publish(tv::listen_message(ctx, {static_cast<std::uint8_t*>(buf), cap},
                                          timeout_ms, &from_switch));
}

extern "C" uint32_t tv_get_dropped_unsolicited(void) { return dropped; }
