// Traps: reading, writing and saving the trap configuration block, the listener table and its
// registrations, and the trap counters. A counter that crosses a threshold of an enabled trap
// code while trapping is on sends a trap message to every listener: rising when it reaches the
// rising threshold from below, falling when it reaches the falling one from above.
//
// Registration answers carry the request's fields back with a result byte: 0 done, 2 refused
// (table full, address or port 0, or removing a listener that is not there).
#include <algorithm>
#include <array>
#include <limits>
#include <set>

#include "proto/header.h"
#include "proto/traps/decode.h"
#include "switchsim/core/fabric.h"
#include "switchsim/core/fabric_fields.h"
#include "switchsim/core/handlers.h"

namespace sim {

namespace {

namespace w = tv::wire;
namespace L = tv::layout::traps;

constexpr std::int32_t default_interval_ms = 5000;
// The timer moves the counters of unit 2: a trap test moves unit 1's, and the two must not
// hide each other's crossings.
constexpr std::uint8_t timer_unit = 2;

std::int32_t saturate(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

std::vector<std::uint8_t> trap_message(switch_state& s, const tv_trap_event& e) {
    std::vector<std::uint8_t> m(L::event_msg::len);
    const tv_msg_header h{1, 4, 0, TV_HDR_STATUS_OK, s.fc_addr, TV_CMD_TRAP,
                          static_cast<std::uint16_t>(m.size() - TV_HDR_LEN),
                          ++s.get<trap_state>().trap_seq};
    tv::encode_header(m, h);
    tv::encode_trap_event(m, e);
    tv::set_checksum(m);
    return m;
}

// Sets a counter and raises the trap its move calls for.
void move_counter(fabric& f, std::size_t sw, std::uint8_t code, std::uint8_t unit,
                  std::int64_t value, std::vector<unsolicited>& out) {
    switch_state& s = f.switches[sw];
    auto& st = s.get<trap_state>();
    std::int32_t& counter = st.counters[{code, unit}];
    const std::int32_t old = counter;
    counter = saturate(value);

    const tv_trap_config cfg = tv::decode_trap_config(st.active, code);
    if (tv::decode_trapping(st.active).enabled == 0 || cfg.status == 0) return;
    tv_trap_event e{s.fc_addr, unit, code, 0, counter, saturate(std::int64_t{counter} - old)};
    if (old < cfg.rising && counter >= cfg.rising)
        e.alert = TV_TRAP_RISING;
    else if (old > cfg.falling && counter <= cfg.falling)
        e.alert = TV_TRAP_FALLING;
    else
        return;
    const std::vector<std::uint8_t> msg = trap_message(s, e);
    for (const auto& l : st.listeners) {
        unsolicited u{sw, {}, msg};
        u.to.sin_family = AF_INET;
        u.to.sin_addr.s_addr = l.ip;
        u.to.sin_port = htons(l.port);
        out.push_back(std::move(u));
    }
}

template <std::uint32_t Which>
void read_config(request_ctx& c) {
    const auto& st = c.state<trap_state>();
    const auto& block = Which == L::subcmd::read_current ? st.active : st.saved;
    w::put_bytes(c.reply(L::read_msg::ret_len), L::read_msg::block_at, block.data(), block.size());
}

void write_config(request_ctx& c) {
    c.reply(L::bare_len);
    if (c.req.size() < L::write_msg::req_len) {
        c.status = status_bad_request;
        return;
    }
    auto& block = c.state<trap_state>().active;
    w::get_bytes(c.req, L::write_msg::block_at, block.data(), block.size());
}

void save_config(request_ctx& c) {
    c.reply(L::bare_len);
    auto& st = c.state<trap_state>();
    st.saved = st.active;
}

void listener_table(request_ctx& c) {
    const auto& listeners = c.state<trap_state>().listeners;
    auto m = c.reply(L::table_msg::ret_len);
    w::put_be32(m, L::table_msg::count_at, static_cast<std::uint32_t>(listeners.size()));
    for (std::size_t i = 0; i < listeners.size(); ++i)
        tv::encode_trap_listener(m, i, {listeners[i].ip, listeners[i].port});
}

void set_listener(request_ctx& c) {
    namespace M = L::listener_msg;
    auto m = c.reply(M::len);
    for (std::size_t i = M::addr; i < M::result; ++i) w::put_u8(m, i, w::get_u8(c.req, i));
    auto& listeners = c.state<trap_state>().listeners;
    const trap_listener_addr who{htonl(w::get_be32(c.req, M::addr)), w::get_be16(c.req, M::port)};
    const auto it = std::find(listeners.begin(), listeners.end(), who);
    bool done = false;
    switch (w::get_u8(c.req, M::action)) {
        case M::add:
            done = it != listeners.end() ||
                   (who.ip != 0 && who.port != 0 && listeners.size() < TV_MAX_TRAP_LISTENERS);
            if (done && it == listeners.end()) listeners.push_back(who);
            break;
        case M::remove:
            done = it != listeners.end();
            if (done) listeners.erase(it);
            break;
        default:
            c.status = status_bad_request;
            return;
    }
    w::put_u8(m, M::result, done ? 0 : M::refused);
}

template <bool Add>
void counter(request_ctx& c) {
    namespace M = L::counter_msg;
    c.reply(M::ret_len);
    const std::uint8_t code = w::get_u8(c.req, M::index);
    const std::uint8_t unit = w::get_u8(c.req, M::value_b1);
    if (code >= TV_TRAP_CODES) {
        c.status = status_bad_request;
        return;
    }
    const auto value = static_cast<std::int32_t>(w::get_be32(c.req, M::value));
    const std::int64_t base = Add ? c.state<trap_state>().counters[{code, unit}] : 0;
    move_counter(c.fab, c.sw, code, unit, base + value, c.sends);
}

// The timer: the next enabled code's counter goes up to its rising threshold, or, once there,
// back down to its falling one.
void raise_on_timer(fabric& f, std::size_t sw, std::vector<unsolicited>& out) {
    auto& st = f.switches[sw].get<trap_state>();
    for (std::size_t tried = 0; tried < TV_TRAP_CODES; ++tried) {
        const auto code = static_cast<std::uint8_t>(st.next_code);
        st.next_code = static_cast<std::uint8_t>((st.next_code + 1) % TV_TRAP_CODES);
        const tv_trap_config cfg = tv::decode_trap_config(st.active, code);
        if (cfg.status == 0) continue;
        const std::int32_t now_at = st.counters[{code, timer_unit}];
        move_counter(f, sw, code, timer_unit, now_at < cfg.rising ? cfg.rising : cfg.falling, out);
        return;
    }
}

sim_clock::time_point tick(fabric& f, sim_clock::time_point now, std::vector<unsolicited>& out) {
    auto next = sim_clock::time_point::max();
    for (std::size_t sw = 0; sw < f.switches.size(); ++sw) {
        auto& st = f.switches[sw].get<trap_state>();
        if (st.raise_every <= sim_clock::duration::zero()) continue;
        if (!st.next_raise) {
            st.next_raise = now + st.raise_every;
        } else if (now >= *st.next_raise) {
            raise_on_timer(f, sw, out);
            st.next_raise = now + st.raise_every;
        }
        next = std::min(next, *st.next_raise);
    }
    return next;
}

constexpr std::array<handler_entry, 8> table{{
    {TV_CMD_TRAP, L::subcmd::read_current, read_config<L::subcmd::read_current>, true,
     "read trap configuration"},
    {TV_CMD_TRAP, L::subcmd::read_saved, read_config<L::subcmd::read_saved>, true,
     "read saved trap configuration"},
    {TV_CMD_TRAP, L::subcmd::write, write_config, true, "write trap configuration"},
    {TV_CMD_TRAP, L::subcmd::save, save_config, true, "save trap configuration"},
    {TV_CMD_TRAP, L::subcmd::listeners, listener_table, true, "trap listeners"},
    {TV_CMD_TRAP, L::subcmd::set_listener, set_listener, true, "set trap listener"},
    {TV_CMD_TRAP, L::subcmd::set_counter, counter<false>, true, "set trap counter"},
    {TV_CMD_TRAP, L::subcmd::add_counter, counter<true>, true, "add to trap counter"},
}};

constexpr std::array<std::string_view, 3> keys{"trapping", "trap_interval", "traps"};

void seed(switch_state& s) {
    auto& block = s.get<trap_state>().active;
    tv::encode_trapping(block, {0, default_interval_ms});
}

void read(const fields& j, switch_state& s) {
    auto& block = s.get<trap_state>().active;
    tv_trapping_status trapping = tv::decode_trapping(block);
    if (j.has("trapping")) trapping.enabled = j.at("trapping").as_bool() ? 1 : 0;
    if (j.has("trap_interval"))
        trapping.interval = static_cast<std::int32_t>(
            j.at("trap_interval").as_integer(0, std::numeric_limits<std::int32_t>::max()));
    tv::encode_trapping(block, trapping);
    if (!j.has("traps")) return;
    std::set<std::uint64_t> seen;
    j.at("traps").each([&](const fields& t, std::size_t) {
        static constexpr std::array<std::string_view, 4> trap_keys{"code", "enabled", "rising",
                                                                   "falling"};
        t.expect_object(trap_keys);
        constexpr std::int64_t lo = std::numeric_limits<std::int32_t>::min();
        constexpr std::int64_t hi = std::numeric_limits<std::int32_t>::max();
        tv_trap_config cfg{};
        cfg.code = static_cast<std::uint8_t>(t.at("code").as_number(TV_TRAP_CODES - 1));
        if (!seen.insert(cfg.code).second)
            t.at("code").fail("trap code " + std::to_string(cfg.code) + " is given twice");
        cfg.status = t.has("enabled") && t.at("enabled").as_bool() ? 1 : 0;
        if (t.has("rising")) cfg.rising = static_cast<std::int32_t>(t.at("rising").as_integer(lo, hi));
        if (t.has("falling")) cfg.falling = static_cast<std::int32_t>(t.at("falling").as_integer(lo, hi));
        tv::encode_trap_config(block, cfg);
    });
}

void save(switch_state& s) { s.get<trap_state>().saved = s.get<trap_state>().active; }

// A reset reloads the saved configuration and starts the counters from zero; listeners stay
// registered.
void reload(switch_state& s) {
    auto& st = s.get<trap_state>();
    st.active = st.saved;
    st.counters.clear();
}

}  // namespace

const family_info& trap_family::info() {
    static const family_info f{.name = "traps",
                               .handlers = table,
                               .switch_keys = keys,
                               .read_switch = read,
                               .seed = seed,
                               .loaded = save,
                               .on_reset = reload,
                               .on_tick = tick};
    return f;
}

}  // namespace sim
