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
//
// In strict answer mode (g_strict_answers) every datagram is read whole, with its sender, and
// its sequence number decides first: a datagram that does not carry the request's number (a
// leftover copy of an earlier answer, a stray) is read past within the cycle's wait, which it
// neither ends nor lengthens, so a switch that answers twice or drips old answers costs no more
// than one that is silent. Only an answer carrying the request's number is then checked for
// content (sender, length, command, checksum, the fields it echoes from the request); one that
// fails is spoiled and ends the cycle, so the request goes out again. A wall-clock deadline of
// 1.5 times the budget bounds the whole exchange, pauses included, whatever arrives.
#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>

#include "proto/echo.h"
#include "tv_api/tv_inter.h"

namespace {

constexpr int64_t datagram_cost = 5;
constexpr int64_t pause_cost = 15;
constexpr int32_t cycle_pause_us = 15000;

enum class arrival { nothing, failed, stale, newer, match };

using steady = std::chrono::steady_clock;

// Strict mode reads whole datagrams up to this size; a longer one cannot be checked and is
// read past.
constexpr std::size_t strict_room = 2048;
std::array<std::uint8_t, strict_room> whole_datagram;  // the library is single-threaded
tv::read_past_counts read_past{};
// How long the last answered exchanges took (the shortest tells a slow switch from a late
// answer), in microseconds.
std::array<std::int64_t, 4> answer_times{};
std::size_t next_answer_time = 0;

void note_answer_time(steady::time_point started) {
    answer_times[next_answer_time++ % answer_times.size()] =
        std::chrono::duration_cast<std::chrono::microseconds>(steady::now() - started).count();
}

// Whole milliseconds from now until `t` (rounded up, so that a wait never ends early), 0 once
// it has passed.
int ms_until(steady::time_point t) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(t - steady::now()).count();
    return static_cast<int>(std::max<std::int64_t>(left, 0));
}

struct exchange_state {
    tv_context* ctx;
    tv::wire::cbytes req;
    int32_t seq;            // the request's sequence number, compared signed
    tv::wire::bytes resp;
    int64_t wait_cost;      // what a timed-out or failed wait adds
    bool strict;
    std::size_t min_answer;         // strict mode: the shortest acceptable answer
    steady::time_point deadline{};  // strict mode only
    int64_t elapsed = 0;
    int32_t received = 0;   // length of the last datagram read

    bool out_of_time() const { return strict && steady::now() >= deadline; }

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
        return by_sequence(resp);
    }

    // Signed difference: sequence numbers compare across the 32-bit wrap.
    arrival by_sequence(tv::wire::cbytes msg) const {
        const auto got = static_cast<int32_t>(tv::wire::get_be32(msg, tv::off::seq));
        if (got == seq) return arrival::match;
        return got > seq ? arrival::newer : arrival::stale;
    }

    // The wait of one cycle in strict mode: it lasts as long as a wait for silence would (cut at
    // the deadline), however many datagrams for other requests arrive meanwhile, and ends early
    // only for an answer carrying the request's number. Those read past cost nothing of the
    // budget: the wait they fall in is counted whole when it ends.
    arrival wait_strictly() {
        const auto wait_end =
            std::min(deadline, steady::now() + std::chrono::milliseconds(tv::wait_length_ms()));
        for (bool first = true;; first = false) {
            // Past the end, one look that does not block still drains what is queued.
            if (!first && steady::now() >= wait_end) return end_of_wait(0);
            sockaddr_in from{};
            int32_t length = 0;
            const int w = tv::wait_and_recv(ctx, whole_datagram.data(),
                                            static_cast<int32_t>(strict_room), length, &from,
                                            ms_until(wait_end));
            if (w <= 0) return end_of_wait(w);
            const tv::wire::cbytes msg{whole_datagram.data(),
                                       std::min(static_cast<std::size_t>(length), strict_room)};
            if (msg.size() < TV_HDR_LEN || by_sequence(msg) != arrival::match) {
                ++read_past.stale;
                continue;
            }
            elapsed += datagram_cost;
            if (!tv::answer_acceptable(*ctx, req, from, static_cast<std::size_t>(length), msg,
                                       min_answer)) {
                ++read_past.spoiled;
                return arrival::nothing;
            }
            received = static_cast<int32_t>(std::min(msg.size(), resp.size()));
            std::copy_n(msg.begin(), received, resp.begin());
            return arrival::match;
        }
    }

    arrival end_of_wait(int w) {
        elapsed += wait_cost;
        return w < 0 ? arrival::failed : arrival::nothing;
    }

    // The pause at the end of a cycle; in strict mode it never runs past the deadline.
    void pause() {
        elapsed += pause_cost;
        if (!strict) return tv::pause_us(cycle_pause_us);
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            deadline - steady::now()).count();
        tv::pause_us(static_cast<int32_t>(std::clamp<std::int64_t>(left, 0, cycle_pause_us)));
    }

};

}  // namespace

namespace tv {

thread_local lane_exchanger* current_lane = nullptr;

int64_t exchange_budget() { return Discover ? 3 * int64_t{g_ip_timeout} + 45 : int64_t{g_timeout}; }

bool answer_acceptable(const tv_context& ctx, wire::cbytes req, const sockaddr_in& from,
                       std::size_t length, wire::cbytes msg, std::size_t min_answer) {
    if (from.sin_addr.s_addr != ctx.remote_addr.sin_addr.s_addr ||
        from.sin_port != ctx.remote_addr.sin_port)
        return false;
    if (length < TV_MIN_MSG_LEN || length > msg.size()) return false;
    if (wire::get_be16(msg, off::length) != length - TV_HDR_LEN) return false;
    if (wire::get_be16(msg, off::command) != wire::get_be16(req, off::command) ||
        !checksum_ok(msg) || !echo::repeats(req, msg))
        return false;
    // A refusal is a header; an answer carries what the operation reads.
    return wire::get_u8(msg, off::status) != TV_HDR_STATUS_OK || length >= min_answer;
}

exchanged exchange_message(tv_context* ctx, wire::bytes req, wire::bytes resp,
                           std::size_t min_answer) {
    if (min_answer == 0) min_answer = resp.size();
    if (current_lane != nullptr) return current_lane->exchange(ctx, req, resp, min_answer);
    const auto started = steady::now();
    set_checksum(req);
    const int64_t budget = exchange_budget();
    exchange_state x{ctx, req, static_cast<int32_t>(wire::get_be32(req, off::seq)), resp,
                     std::max<int64_t>(g_ip_timeout, 0), g_strict_answers != 0, min_answer};
    exchanged out;  // 106, length 0
    if (budget <= 0) return out;
    if (x.strict) x.deadline = started + std::chrono::milliseconds(budget * 3 / 2);

    const int extra_reads = Discover ? 2 : 10;
    bool send_failed = false;
    while (x.elapsed < budget && !x.out_of_time()) {
        if (send_datagram(ctx, req) < 0) {
            send_failed = true;
            out.length = -1;
            x.elapsed += x.wait_cost;
        } else {
            arrival a = x.strict ? x.wait_strictly() : x.read_one();
            // Stale answers to earlier requests: read on, a few times, within the budget.
            for (int k = 0; a == arrival::stale && k < extra_reads && x.elapsed < budget; ++k) {
                a = x.read_one();
                if (a == arrival::nothing) a = arrival::stale;  // a quiet wait does not end them
            }
            if (a == arrival::match) {
                const int32_t status = status_from_byte(wire::get_u8(resp, off::status));
                if (status != TV_OK) return {0, status};
                ctx->last_activity = static_cast<uint32_t>(std::time(nullptr));
                note_answer_time(started);
                return {x.received, TV_OK};
            }
            out.length = a == arrival::failed ? -1 : 0;
        }
        x.pause();
    }
    out.status = send_failed ? TV_ERR_SEND : TV_ERR_NO_RESPONSE;
    return out;
}

read_past_counts answers_read_past() { return read_past; }

std::int64_t recent_answer_us() {
    if (next_answer_time == 0) return 0;
    const auto noted = std::min(next_answer_time, answer_times.size());
    return *std::min_element(answer_times.begin(), answer_times.begin() + static_cast<std::ptrdiff_t>(noted));
}

void count_read_past(bool spoiled) { ++(spoiled ? read_past.spoiled : read_past.stale); }

}  // namespace tv

extern "C" uint32_t tv_get_discarded_answers(void) { return read_past.spoiled; }

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
