// Reads side by side across switches on one socket (see lanes.h).
//
// The loop and the lanes hand one turn around: the loop resumes a lane whose answer has come
// (or a new one), the lane runs until its next exchange or its end and hands the turn back; a
// lane of steps is given its next step by the loop itself.
// The state of the library that a lane's code may read across an exchange and that another
// lane changes meanwhile is kept per lane across the hand-over: tv_api_errno and
// previous_dest_addr (the module buffers are per thread). The sequence numbers stay
// process-wide: they tell the answers apart.
#include "tv_api/lanes.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "tv_api/operations/name_server_query.h"
#include "tv_api/tv_inter.h"

namespace tv {

namespace {

using steady = std::chrono::steady_clock;

// What a cycle adds to an exchange's estimate, as exchange.cpp counts it.
constexpr int64_t datagram_cost = 5;
constexpr int64_t pause_cost = 15;
constexpr auto cycle_pause = std::chrono::milliseconds(15);
constexpr std::size_t datagram_room = 2048;

}  // namespace

struct lanes::impl {
    struct lane final : lane_exchanger {
        enum class state { fresh, ready, waiting, done };

        lane(impl& o, const tv_context& base, std::uint32_t dest, std::function<void(tv_context*)> t)
            : owner(o), ctx(base), task(std::move(t)) {
            ctx.dest_fc_addr = dest;
        }
        exchanged exchange(tv_context* c, wire::bytes rq, wire::bytes rs, std::size_t least) override {
            return owner.exchange(*this, c, rq, rs, least);
        }

        impl& owner;
        tv_context ctx;
        std::function<void(tv_context*)> task;  // on a thread of its own
        lanes::step_fn step;  // or run on the loop itself
        std::thread thread;
        state st = state::fresh;
        std::condition_variable turn;
        // The library's state as this lane left it at its last exchange.
        int32_t errno_kept = 0;
        std::uint32_t previous_dest_kept = 0;

        // The outstanding exchange.
        tv_context* via = nullptr;
        std::vector<std::uint8_t> req;
        wire::bytes resp;
        std::size_t min_answer = 0;
        std::uint32_t seq = 0;
        std::uint32_t to = 0;  // the switch asked (switch_of)
        int64_t elapsed = 0, budget = 0, wait_cost = 0;
        steady::time_point deadline{}, send_at{}, wait_end{};
        bool in_cycle = false;  // sent, its wait not yet over
        bool send_failed = false;
        exchanged result;
    };

    impl(const tv_context& c, std::size_t at_once) : base(c), live_limit(std::max<std::size_t>(at_once, 1)) {}

    // ---- The lanes' side ----

    void body(lane& l) {
        {
            std::unique_lock lk(mu);
            l.turn.wait(lk, [&] { return running == &l; });
        }
        current_lane = &l;
        try {
            l.task(&l.ctx);
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
        current_lane = nullptr;
        std::lock_guard lk(mu);
        l.st = lane::state::done;
        running = nullptr;
        loop_turn.notify_one();
    }

    exchanged exchange(lane& l, tv_context* c, wire::bytes req, wire::bytes resp, std::size_t min_answer) {
        if (!begin(l, c, req, resp, min_answer)) return l.result;
        l.errno_kept = tv_api_errno;
        l.previous_dest_kept = previous_dest_addr;
        {
            std::unique_lock lk(mu);
            l.st = lane::state::waiting;
            running = nullptr;
            loop_turn.notify_one();
            l.turn.wait(lk, [&] { return running == &l; });
        }
        tv_api_errno = l.errno_kept;
        previous_dest_addr = l.previous_dest_kept;
        return l.result;
    }

    // Sets up the lane's exchange of `req` (its checksum filled) for an answer into `resp`;
    // false, with its result, when there is no budget for it.
    bool begin(lane& l, tv_context* c, wire::bytes req, wire::bytes resp, std::size_t min_answer) {
        set_checksum(req);
        l.result = {};
        l.budget = exchange_budget();
        if (l.budget <= 0) return false;
        const auto now = steady::now();
        l.via = c;
        l.req.assign(req.begin(), req.end());
        l.resp = resp;
        l.min_answer = min_answer;
        l.seq = wire::get_be32(req, off::seq);
        l.to = switch_of(c->dest_fc_addr);
        l.elapsed = 0;
        l.wait_cost = std::max<int64_t>(g_ip_timeout, 0);
        l.deadline = now + std::chrono::milliseconds(l.budget * 3 / 2);
        l.send_at = now;
        l.in_cycle = false;
        l.send_failed = false;
        return true;
    }

    // ---- The loop's side ----

    // Gives a lane whose exchange has ended (or a new one) its turn: its thread, or its next
    // step here on the loop.
    void advance(lane& l) {
        if (!l.step) return resume(l);
        if (l.st == lane::state::fresh) ++live;
        std::optional<lanes::next_exchange> next;
        try {
            next = l.step(&l.ctx, l.st == lane::state::fresh ? nullptr : &l.result);
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
        if (!next) {
            l.st = lane::state::done;
            --live;
            return;
        }
        // As exchange() does: the answer buffer cleared, a whole answer wanted. Without the
        // budget for it the step learns so on its next turn, as a thread would at once.
        std::fill(next->resp.begin(), next->resp.end(), std::uint8_t{0});
        l.st = begin(l, &l.ctx, next->req, next->resp, next->resp.size()) ? lane::state::waiting : lane::state::ready;
    }

    void resume(lane& l) {
        std::unique_lock lk(mu);
        running = &l;
        if (l.st == lane::state::fresh) {
            ++live;
            l.thread = std::thread([this, &l] { body(l); });
        } else {
            l.turn.notify_one();
        }
        l.st = lane::state::ready;
        loop_turn.wait(lk, [&] { return running == nullptr; });
    }

    void run() {
        const int32_t errno_was = tv_api_errno;
        const std::uint32_t previous_was = previous_dest_addr;
        for (;;) {
            bool waiting = false;
            for (std::size_t i = 0; i < all.size(); ++i) {  // grows as lanes add lanes
                lane& l = *all[i];
                if (l.st == lane::state::ready || (l.st == lane::state::fresh && live < live_limit)) {
                    advance(l);
                    // Its request goes out at once: its switch works while other lanes run.
                    if (l.st == lane::state::waiting) send_due(l, steady::now());
                }
                if (l.st == lane::state::done && l.thread.joinable()) {
                    l.thread.join();
                    --live;
                }
                waiting = waiting || l.st != lane::state::done;
            }
            if (!waiting) break;
            send_due();
            wait_for_traffic();
            read_answers();
            end_cycles();
        }
        tv_api_errno = errno_was;
        previous_dest_addr = previous_was;
        if (failure) std::rethrow_exception(std::exchange(failure, nullptr));
    }

    // The switch a destination reaches: its chassis number, or the one at the address itself.
    static std::uint32_t switch_of(std::uint32_t dest) {
        return dest == TV_DEFAULT_DEST ? 1u << 24 : (dest >> 14 & 0x3F);
    }

    void end_cycle(lane& l) {
        if (l.in_cycle) asking.erase(l.to);
        l.in_cycle = false;
    }

    void complete(lane& l, exchanged result) {
        by_seq.erase(l.seq);
        end_cycle(l);
        l.result = result;
        l.st = lane::state::ready;
    }

    // The end of a fruitless cycle: the pause, then the request again while budget and time last.
    void pause(lane& l, steady::time_point now) {
        end_cycle(l);
        l.elapsed += pause_cost;
        l.send_at = std::min(now + cycle_pause, l.deadline);
    }

    void send_due() {
        const auto now = steady::now();
        for (const auto& p : all) send_due(*p, now);
    }

    // Starts the lane's next cycle when it is due and no other lane's request to the same
    // switch is outstanding (a lane's reads reach other switches too: the far ends of links),
    // or ends its exchange when the budget or the time is spent.
    void send_due(lane& l, steady::time_point now) {
        if (l.st != lane::state::waiting || l.in_cycle || l.send_at > now || asking.contains(l.to)) return;
        if (l.elapsed >= l.budget || now >= l.deadline) {
            complete(l, {l.send_failed ? -1 : 0, l.send_failed ? TV_ERR_SEND : TV_ERR_NO_RESPONSE});
            return;
        }
        if (send_datagram(l.via, l.req) < 0) {
            l.send_failed = true;
            l.elapsed += l.wait_cost;
            pause(l, now);
            return;
        }
        by_seq[l.seq] = &l;
        asking.insert(l.to);
        l.in_cycle = true;
        l.wait_end = std::min(l.deadline, now + std::chrono::milliseconds(wait_length_ms()));
    }

    void wait_for_traffic() {
        auto until = steady::time_point::max();
        for (const auto& p : all) {
            const lane& l = *p;
            if (l.st == lane::state::ready || (l.st == lane::state::fresh && live < live_limit)) return;
            if (l.st != lane::state::waiting) continue;
            // One waiting for another lane's request to its switch goes once that one ends.
            if (!l.in_cycle && asking.contains(l.to)) continue;
            until = std::min(until, l.in_cycle ? l.wait_end : l.send_at);
        }
        if (until == steady::time_point::max()) return;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - steady::now()).count();
        pollfd p{base.sock, POLLIN, 0};
        ::poll(&p, 1, static_cast<int>(std::clamp<std::int64_t>(left, 0, 60 * 1000)));
    }

    // Every datagram waiting: an answer to an outstanding request by its sequence number, the
    // rest read past.
    void read_answers() {
        for (;;) {
            sockaddr_in from{};
            socklen_t from_len = sizeof from;
            const ssize_t n = ::recvfrom(base.sock, datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_TRUNC,
                                         reinterpret_cast<sockaddr*>(&from), &from_len);
            if (n < 0) return;
            const auto length = static_cast<std::size_t>(n);
            const wire::cbytes msg{datagram.data(), std::min(length, datagram.size())};
            const auto it = msg.size() < TV_HDR_LEN ? by_seq.end() : by_seq.find(wire::get_be32(msg, off::seq));
            if (it == by_seq.end()) {
                count_read_past(false);
                continue;
            }
            lane& l = *it->second;
            l.elapsed += datagram_cost;
            if (!answer_acceptable(*l.via, l.req, from, length, msg, l.min_answer)) {
                count_read_past(true);
                if (l.in_cycle) pause(l, steady::now());
                continue;
            }
            const int32_t status = status_from_byte(wire::get_u8(msg, off::status));
            if (status != TV_OK) {
                complete(l, {0, status});
                continue;
            }
            const std::size_t got = std::min(msg.size(), l.resp.size());
            std::copy_n(msg.begin(), got, l.resp.begin());
            l.via->last_activity = static_cast<std::uint32_t>(std::time(nullptr));
            complete(l, {static_cast<int32_t>(got), TV_OK});
        }
    }

    void end_cycles() {
        const auto now = steady::now();
        for (const auto& p : all) {
            lane& l = *p;
            if (l.st != lane::state::waiting || !l.in_cycle || l.wait_end > now) continue;
            l.elapsed += l.wait_cost;
            pause(l, now);
        }
    }

    tv_context base;
    std::size_t live_limit;
    std::mutex mu;
    std::condition_variable loop_turn;
    lane* running = nullptr;  // the lane that has the turn; none: the loop has it
    std::deque<std::unique_ptr<lane>> all;
    std::unordered_map<std::uint32_t, lane*> by_seq;
    std::unordered_set<std::uint32_t> asking;  // switches with a request outstanding
    std::size_t live = 0;
    std::exception_ptr failure;
    std::array<std::uint8_t, datagram_room> datagram{};
};

namespace {
lanes_mode mode = lanes_mode::never;
}  // namespace

void set_lanes_mode(lanes_mode m) { mode = m; }

void set_lanes_mode_from_environment() {
    mode = lanes_mode::where_slow;
    if (const char* s = std::getenv("TELVAR_READS"); s != nullptr) {
        if (std::string_view(s) == "sequential") mode = lanes_mode::never;
        if (std::string_view(s) == "side-by-side") mode = lanes_mode::always;
    }
}

bool lanes_usable(const tv_context* ctx) {
    if (mode == lanes_mode::never || ctx == nullptr || g_strict_answers == 0 || ctx->login_required != 0 ||
        current_lane != nullptr)
        return false;
    return mode == lanes_mode::always || recent_answer_us() >= slow_answer_us;
}

lanes::lanes(const tv_context& ctx, std::size_t at_once) : p_(std::make_unique<impl>(ctx, at_once)) {}

lanes::~lanes() {
    // run() leaves every lane ended; lanes never run are never started.
    for (const auto& l : p_->all)
        if (l->thread.joinable()) l->thread.join();
}

void lanes::add(std::uint32_t dest, std::function<void(tv_context*)> task) {
    p_->all.push_back(std::make_unique<impl::lane>(*p_, p_->base, dest, std::move(task)));
}

void lanes::add_steps(std::uint32_t dest, step_fn step) {
    auto l = std::make_unique<impl::lane>(*p_, p_->base, dest, nullptr);
    l->step = std::move(step);
    p_->all.push_back(std::move(l));
}

void lanes::run() { p_->run(); }

// ---- The name server in ranges ----

namespace {

// The objects of a range, kept until the ranges are merged, packed one after another: the
// fields every object has, a byte that says which of the others follow (those that are zero
// are left out, a node WWN that differs from the port WWN only in its first byte is that
// byte, and of the FC-4 types only the words that are set are kept, behind a mask), then the
// two names with their lengths. Some 27 bytes an object where the record takes 584, in blocks
// that never grow past their size, so that the ranges of a large fabric held at once stay a
// fraction of a megabyte.
class kept_objects {
public:
    void keep(const tv_nameserver_entry& e) {
        if (blocks_.empty() || blocks_.back().size() + most > block_size) {
            blocks_.emplace_back();
            blocks_.back().reserve(block_size);
        }
        std::string& b = blocks_.back();
        put(b, e.port_id);
        put(b, e.port);
        put(b, e.port_type);
        put(b, e.port_wwn);
        const bool ipa = e.ipa[0] != 0 || e.ipa[1] != 0;
        const std::uint8_t fc4 = set_words(e.fc4_types);
        const bool node_wwn = !std::equal(e.node_wwn + 1, e.node_wwn + 8, e.port_wwn + 1);
        put(b, static_cast<std::uint8_t>(ipa | (fc4 != 0) << 1 | (e.ip_addr != 0) << 2 | (e.cos != 0) << 3 |
                                         node_wwn << 4));
        if (node_wwn)
            put(b, e.node_wwn);
        else
            put(b, e.node_wwn[0]);
        if (ipa) put(b, e.ipa);
        if (e.ip_addr != 0) put(b, e.ip_addr);
        if (e.cos != 0) put(b, e.cos);
        if (fc4 != 0) {
            put(b, fc4);
            for (std::size_t w = 0; w < 8; ++w)
                if (fc4 >> w & 1) put(b, e.fc4_types[w]);
        }
        put_name(b, e.port_symname, sizeof e.port_symname);
        put_name(b, e.node_symname, sizeof e.node_symname);
    }

    // Gives each object kept, in order, as the walk read it (into a zeroed record).
    template <class Visit>
    bool each(Visit&& visit) const {
        tv_nameserver_entry e;
        for (const std::string& b : blocks_)
            for (std::size_t at = 0; at < b.size();) {
                std::memset(&e, 0, sizeof e);
                get(b, at, e.port_id);
                get(b, at, e.port);
                get(b, at, e.port_type);
                get(b, at, e.port_wwn);
                std::uint8_t rare = 0;
                get(b, at, rare);
                if (rare & 16) {
                    get(b, at, e.node_wwn);
                } else {
                    std::copy_n(e.port_wwn, 8, e.node_wwn);
                    get(b, at, e.node_wwn[0]);
                }
                if (rare & 1) get(b, at, e.ipa);
                if (rare & 4) get(b, at, e.ip_addr);
                if (rare & 8) get(b, at, e.cos);
                if (rare & 2) {
                    std::uint8_t fc4 = 0;
                    get(b, at, fc4);
                    for (std::size_t w = 0; w < 8; ++w)
                        if (fc4 >> w & 1) get(b, at, e.fc4_types[w]);
                }
                get_name(b, at, e.port_symname);
                get_name(b, at, e.node_symname);
                if (!visit(e)) return false;
            }
        return true;
    }

    void clear() { blocks_ = {}; }

private:
    static constexpr std::size_t block_size = 16 << 10;
    // The most an object can take: every field and two names of 256 characters.
    static constexpr std::size_t most = 4 + 1 + 1 + 8 + 1 + 8 + 8 + 4 + 4 + 1 + 32 + 2 * (2 + 256);

    static std::uint8_t set_words(const std::uint32_t (&words)[8]) {
        std::uint8_t mask = 0;
        for (std::size_t w = 0; w < 8; ++w) mask |= static_cast<std::uint8_t>((words[w] != 0) << w);
        return mask;
    }
    template <class T>
    static void put(std::string& b, const T& v) {
        b.append(reinterpret_cast<const char*>(&v), sizeof v);
    }
    static void put_name(std::string& b, const char* name, std::size_t room) {
        const auto n = static_cast<std::uint16_t>(strnlen(name, room));
        put(b, n);
        b.append(name, n);
    }
    template <class T>
    static void get(const std::string& b, std::size_t& at, T& v) {
        std::memcpy(&v, b.data() + at, sizeof v);
        at += sizeof v;
    }
    template <std::size_t N>
    static void get_name(const std::string& b, std::size_t& at, char (&name)[N]) {
        std::uint16_t n = 0;
        get(b, at, n);
        std::memcpy(name, b.data() + at, n);
        at += n;
    }

    std::vector<std::string> blocks_;
};

struct range_read {
    std::uint32_t from = 0;   // the first address of the range
    std::uint64_t to = 0;     // one past its last
    int32_t status = TV_OK;
    kept_objects objects;

    // "Next object" from the address before the range until an object beyond it, none, or one
    // at or below the last (the switch has come round to the start): a step for each half of
    // each object, on the lanes' loop.
    std::optional<lanes::next_exchange> step(tv_context* ctx, const exchanged* last) {
        if (last == nullptr) {
            next_after(from == 0 ? 0 : from - 1);
        } else {
            bool found = false;
            const int32_t code = last->ok() ? query_.take(answer_, object_, found) : last->status;
            if (code == ns_object_query::more) return ask(ctx);
            status = code;
            if (status != TV_OK || !found || object_.port_id <= address_ || object_.port_id >= to) return {};
            objects.keep(object_);
            next_after(object_.port_id);
        }
        return ask(ctx);
    }

private:
    void next_after(std::uint32_t address) {
        address_ = address;
        query_ = ns_object_query(address, true);
        std::memset(&object_, 0, sizeof object_);
    }
    lanes::next_exchange ask(tv_context* ctx) {
        query_.request(ctx, request_);
        return {request_, answer_};
    }

    std::uint32_t address_ = 0;
    ns_object_query query_{0, true};
    tv_nameserver_entry object_{};
    std::array<std::uint8_t, layout::name_server::msg_len> request_{}, answer_{};
};

}  // namespace

int32_t walk_nameserver_ranges(const tv_context& ctx, std::span<const std::uint32_t> switches,
                               const std::function<bool(const tv_nameserver_entry&)>& visit) {
    std::vector<std::uint32_t> starts(switches.begin(), switches.end());
    std::ranges::sort(starts);
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    if (starts.empty()) starts.push_back(ctx.dest_fc_addr);
    std::vector<range_read> ranges(starts.size());
    lanes l(ctx);
    for (std::size_t i = 0; i < starts.size(); ++i) {
        ranges[i].from = i == 0 ? 0 : starts[i];
        ranges[i].to = i + 1 < starts.size() ? starts[i + 1] : std::uint64_t{1} << 32;
        l.add_steps(starts[i], [&r = ranges[i]](tv_context* c, const exchanged* last) { return r.step(c, last); });
    }
    l.run();
    for (range_read& r : ranges) {
        if (!r.objects.each(visit)) return TV_ERR_ALLOC;
        if (r.status != TV_OK) return r.status;
        r.objects.clear();  // what was merged is let go range by range
    }
    return TV_OK;
}

}  // namespace tv
