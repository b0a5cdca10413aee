// The request/response exchange that every command is built on.
//
// One call sends the request, waits for the response carrying the request's sequence number
// and resends the very same bytes after each fruitless cycle, until the budget is spent. The
// elapsed count is an estimate built from fixed increments, not a clock, so the number of
// cycles depends only on the settings and on what arrives:
//   wait timed out or failed  + g_ip_timeout
//   wait reported a datagram  + 5
//   pause at the end of cycle + 15
// A failed send is counted like a failed wait, so repeated send failures end the exchange
// within the budget (with 105) instead of spinning.
#include <algorithm>
#include <cstdint>
#include <ctime>

#include "tv_inter.h"

namespace {

constexpr int64_t datagram_cost = 5;
constexpr int64_t pause_cost = 15;
constexpr int32_t cycle_pause_us = 15000;

enum class arrival { nothing, failed, stale, newer, match };

struct exchange_state {
    tv_context* ctx;
    int32_t seq;            // the request's sequence number, compared signed
    tv::wire::bytes resp;
    int64_t wait_cost;      // what a timed-out or failed wait adds
    int64_t elapsed = 0;
    int32_t received = 0;   // length of the last datagram read

    // One wait and, when a datagram is there, its read; classifies what arrived.
    arrival read_one() {
        const int w = tv::wait_and_recv(ctx, resp.data(), static_cast<int32_t>(resp.size()),
                                        received);
        if (w <= 0) {
            elapsed += wait_cost;
            return w < 0 ? arrival::failed : arrival::nothing;
        }
        elapsed += datagram_cost;
        if (received == 0) return arrival::nothing;
        // A datagram too short to carry a sequence number is discarded like a stale one.
        if (received < TV_HDR_LEN) return arrival::stale;
        // Signed difference: sequence numbers compare across the 32-bit wrap.
        const auto got = static_cast<int32_t>(tv::wire::get_be32(resp, tv::off::seq));
        if (got == seq) return arrival::match;
        return got > seq ? arrival::newer : arrival::stale;
    }
};

}  // namespace

namespace tv {

exchanged exchange_message(tv_context* ctx, wire::bytes req, wire::bytes resp) {
    set_checksum(req);
    const int64_t budget = Discover ? 3 * int64_t{g_ip_timeout} + 45 : int64_t{g_timeout};
    exchange_state x{ctx, static_cast<int32_t>(wire::get_be32(req, off::seq)), resp,
                     std::max<int64_t>(g_ip_timeout, 0)};
    exchanged out;  // 106, length 0
    if (budget <= 0) return out;

    const int extra_reads = Discover ? 2 : 10;
    bool send_failed = false;
    while (x.elapsed < budget) {
        if (send_datagram(ctx, req) < 0) {
            send_failed = true;
            out.length = -1;
            x.elapsed += x.wait_cost;
        } else {
            arrival a = x.read_one();
            // Stale answers to earlier requests: read on, a few times, within the budget.
            for (int k = 0; a == arrival::stale && k < extra_reads && x.elapsed < budget; ++k) {
                a = x.read_one();
                if (a == arrival::nothing) a = arrival::stale;  // a quiet wait does not end them
            }
            if (a == arrival::match) {
                const int32_t status = status_from_byte(wire::get_u8(resp, off::status));
                if (status != TV_OK) return {0, status};
                ctx->last_activity = static_cast<uint32_t>(std::time(nullptr));
                return {x.received, TV_OK};
            }
            out.length = a == arrival::failed ? -1 : 0;
        }
        pause_us(cycle_pause_us);
        x.elapsed += pause_cost;
    }
    out.status = send_failed ? TV_ERR_SEND : TV_ERR_NO_RESPONSE;
    return out;
}

}  // namespace tv

extern "C" int32_t tv_exchange(tv_context* ctx, void* req, int32_t req_len, void* resp,
                               int32_t resp_capacity, int32_t /*unused*/) {
    if (ctx == nullptr || req == nullptr || req_len < TV_MIN_MSG_LEN || resp == nullptr ||
        resp_capacity < TV_HDR_LEN)
        return tv::publish(TV_ERR_PARAM), 0;
    const tv::exchanged x = tv::exchange_message(
        ctx, {static_cast<std::uint8_t*>(req), static_cast<std::size_t>(req_len)},
        {static_cast<std::uint8_t*>(resp), static_cast<std::size_t>(resp_capacity)});
    tv::publish(x.status);
    return x.length;
}
