// Port diagnostics: the counter read (configuration sub-command 0x5F) and the online test
// (command 0x31: reset the log, start, stop, status), over the fabric's simulated clock.
//
// Every request first brings the clock up to date (on_request), so a port's state at the time
// it changes is what counted until then. The counters are computed from the time traffic
// flowed on the port rather than stored, which keeps them exact and reproducible: rates come
// from a hash of the seed, the chassis and the port; a faulty port also climbs in its error
// counters, and a loop port counts the loop initialisations it sees.
#include <algorithm>
#include <array>
#include <limits>
#include <string>

#include "proto/diag/layout.h"
#include "switchsim/core/fabric_fields.h"
#include "switchsim/core/handlers.h"
#include "telvar/utconfig.h"
#include "telvar/utilmsg.h"

namespace sim {

namespace {

namespace w = tv::wire;
namespace L = tv::layout::diag;
namespace state = L::test_state;

// Largest transfer size that lengthens a pass; beyond it every pass takes as long.
constexpr std::uint32_t transfer_size_cap = 4u << 20;
// A wall-clock gap longer than this (a suspended host) counts as this much simulated time.
constexpr std::uint64_t wall_step_cap_ms = 24ull * 3600 * 1000;

std::uint64_t mix(std::uint64_t x) {  // splitmix64's finaliser
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

bool is_loop(std::uint8_t type) {
    return type == TV_PORT_TYPE_FL || type == TV_PORT_TYPE_SL || type == TV_PORT_TYPE_TL;
}

std::uint32_t saturating_add(std::uint32_t a, std::uint64_t b) {
    const std::uint64_t sum = a + b;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(sum, std::numeric_limits<std::uint32_t>::max()));
}

bool tested(const test_run& run, std::size_t port) { return run.port == L::start::all_ports || run.port == port; }

// A pass fails on a port that cannot carry the test's frames: faulty, failed, or not operational.
bool pass_fails(const fabric& f, std::size_t sw, std::size_t port) {
    if (f.switches[sw].get<diag_state>().faulty[port]) return true;
    const std::uint8_t op = operational_state(f, sw, static_cast<std::uint8_t>(port));
    return op != TV_PORT_STATE_ON && op != TV_PORT_STATE_TEST;
}

// Ends the run: each tested port passed or failed, and the test as a whole failed when any
// pass did. A stopped run leaves its ports stopped.
void end_run(diag_state& d, bool stopped) {
    bool any_failed = false;
    for (std::size_t p = 0; p < d.log.size(); ++p) {
        if (!tested(d.run, p)) continue;
        auto& e = d.log[p];
        any_failed = any_failed || e.failed_this_run;
        if (e.state == state::running)
            e.state = stopped ? state::stopped : (e.failed_this_run ? state::failed : state::passed);
    }
    if (any_failed) ++d.test_failures;
    d.run.active = false;
}

// The passes of the running test that fall within the next `ms` of simulated time; each one
// passes or fails as the port stands now. Whole passes are counted at once, however many.
void run_test(fabric& f, std::size_t sw, std::uint64_t ms) {
    auto& d = f.switches[sw].get<diag_state>();
    if (!d.run.active) return;
    d.run.elapsed_ms += ms;
    std::uint64_t target = d.run.elapsed_ms / d.run.pass_ms;
    if (d.run.passes != 0) target = std::min<std::uint64_t>(target, d.run.passes);
    const std::uint64_t n = target - d.run.done;
    if (n > 0) {
        for (std::size_t p = 0; p < d.log.size(); ++p) {
            if (!tested(d.run, p)) continue;
            auto& e = d.log[p];
            e.passes = saturating_add(e.passes, n);
            if (!pass_fails(f, sw, p)) continue;
            e.failures = saturating_add(e.failures, n);
            e.failed_this_run = true;
        }
        d.run.done = static_cast<std::uint32_t>(std::min<std::uint64_t>(target, std::numeric_limits<std::uint32_t>::max()));
    }
    if (d.run.passes != 0 && d.run.done >= d.run.passes) end_run(d, false);
}

// Brings the clock up to date before each request.
void settle(request_ctx& c) {
    auto& clock = c.fab.get<diag_fabric_state>();
    if (clock.manual) return;
    if (clock.ms_per_request != 0) return advance_clock(c.fab, clock.ms_per_request);
    const auto now = sim_clock::now();
    if (!clock.wall) {
        clock.wall = now;
        return;
    }
    const auto whole = std::chrono::duration_cast<std::chrono::milliseconds>(now - *clock.wall);
    if (whole.count() <= 0) return;
    // The remainder below a millisecond carries over to the next request.
    *clock.wall += whole;
    advance_clock(c.fab, std::min<std::uint64_t>(static_cast<std::uint64_t>(whole.count()), wall_step_cap_ms));
}

void counters(request_ctx& c) {
    auto m = c.reply(L::counters::ret_len);
    const std::uint8_t port = w::get_u8(c.req, L::port_at);
    if (!c.valid_port(port)) {
        c.status = status_bad_request;
        return;
    }
    const auto words = port_counters(c.fab, c.sw, port);
    for (std::size_t k = L::counters::first_word; k < words.size(); ++k)
        w::put_be32(m, L::counters::words_at + 4 * k, words[k]);
}

void reset_log(request_ctx& c) {
    c.reply(L::reset_log_len);
    auto& d = c.state<diag_state>();
    for (auto& e : d.log) {
        e.passes = e.failures = 0;
        if (e.state != state::running) e.state = state::idle;
    }
    d.test_failures = 0;
    c.note = "test log cleared";
}

void start_test(request_ctx& c) {
    c.reply(L::start::len);
    auto& d = c.state<diag_state>();
    const std::uint8_t port = w::get_u8(c.req, L::port_at);
    if (port != L::start::all_ports && !c.valid_port(port)) {
        c.status = status_bad_request;
        return;
    }
    if (d.run.active) {
        c.status = TV_HDR_STATUS_BUSY;
        return;
    }
    d.run = {.active = true,
             .port = port,
             .passes = w::get_be32(c.req, L::start::passes),
             .pass_ms = pass_ms_of(w::get_be32(c.req, L::start::transfer_size))};
    for (std::size_t p = 0; p < d.log.size(); ++p) {
        if (!tested(d.run, p)) continue;
        d.log[p].state = state::running;
        d.log[p].failed_this_run = false;
    }
    c.note = "test of " + (port == L::start::all_ports ? std::string("every port") : "port " + std::to_string(port + 1)) +
             ", " + std::to_string(d.run.passes) + " passes of " + std::to_string(d.run.pass_ms) + " ms";
}

void stop_test(request_ctx& c) {
    c.reply(L::reset_log_len);  // the bare 24-byte message, answered in kind
    auto& d = c.state<diag_state>();
    if (d.run.active) end_run(d, true);
}

void test_status(request_ctx& c) {
    namespace S = L::status;
    auto m = c.reply(S::ret_len);
    const auto& d = c.state<diag_state>();
    const std::size_t n = std::min(d.log.size(), S::max_ports);
    w::put_u8(m, S::b0, d.run.active ? 1 : 0);
    w::put_u8(m, S::port_count, static_cast<std::uint8_t>(n));
    w::put_u8(m, S::b2, d.run.port);
    w::put_be32(m, S::fail_cnt, static_cast<std::uint32_t>(d.test_failures));
    for (std::size_t i = 0; i < n; ++i) {
        w::put_u8(m, S::port_status + i, d.log[i].state);
        w::put_be32(m, S::port_test_count + 4 * i, d.log[i].passes);
        w::put_be32(m, S::port_fail_count + 4 * i, d.log[i].failures);
    }
}

constexpr std::array<handler_entry, 5> table{{
    {TV_CMD_CONFIG, L::subcmd::port_counters, counters, true, "port counters"},
    {TV_CMD_ONLINE_TEST, L::subcmd::reset_log, reset_log, true, "reset test log"},
    {TV_CMD_ONLINE_TEST, L::subcmd::start_test, start_test, true, "start test"},
    {TV_CMD_ONLINE_TEST, L::subcmd::stop_test, stop_test, true, "stop test"},
    {TV_CMD_ONLINE_TEST, L::subcmd::test_status, test_status, true, "test status"},
}};

constexpr std::array<std::string_view, 1> port_keys{"faulty"};
constexpr std::array<std::string_view, 1> fabric_keys{"diagnostics"};

void seed(switch_state& s) {
    auto& d = s.get<diag_state>();
    d.traffic_ms.assign(s.ports.size(), 0);
    d.faulty.assign(s.ports.size(), false);
    d.log.assign(s.ports.size(), {});
}

void read_port(const fields& p, switch_state& s, std::size_t i) {
    if (p.has("faulty")) s.get<diag_state>().faulty.at(i) = p.at("faulty").as_bool();
}

void read_fabric(const fields& top, fabric& f) {
    if (!top.has("diagnostics")) return;
    const fields d = top.at("diagnostics");
    static constexpr std::array<std::string_view, 2> keys{"seed", "ms_per_request"};
    d.expect_object(keys);
    auto& clock = f.get<diag_fabric_state>();
    d.number("seed", clock.seed, 0xFFFFFFFFu);
    d.number("ms_per_request", clock.ms_per_request, 3600 * 1000);
}

// A restarting switch loses its counters and its running test; the log survives.
void on_reset(switch_state& s) {
    auto& d = s.get<diag_state>();
    std::fill(d.traffic_ms.begin(), d.traffic_ms.end(), 0);
    if (d.run.active) end_run(d, true);
}

}  // namespace

std::uint32_t pass_ms_of(std::uint32_t transfer_size) {
    return 50 + std::min(transfer_size, transfer_size_cap) / 40;
}

void advance_clock(fabric& f, std::uint64_t ms) {
    f.get<diag_fabric_state>().now_ms += ms;
    for (std::size_t sw = 0; sw < f.switches.size(); ++sw) {
        auto& d = f.switches[sw].get<diag_state>();
        for (std::size_t p = 0; p < d.traffic_ms.size(); ++p)
            if (logged_in(f, sw, static_cast<std::uint8_t>(p))) d.traffic_ms[p] += ms;
        run_test(f, sw, ms);
    }
}

std::array<std::uint32_t, TV_PORT_COUNTER_WORDS> port_counters(const fabric& f, std::size_t sw,
                                                               std::size_t port) {
    const switch_state& s = f.switches.at(sw);
    const auto& d = s.get<diag_state>();
    const std::uint64_t t = d.traffic_ms.at(port);
    const std::uint64_t h = mix(std::uint64_t{f.get<diag_fabric_state>().seed} << 32 | std::uint64_t{s.chassis} << 8 | port);
    std::array<std::uint64_t, TV_PORT_COUNTER_WORDS> c{};
    // Frames at 100 to 999 per second each way; a few of them discarded or busied.
    c[TV_CNT_IN_FRAMES] = (100 + h % 900) * t / 1000;
    c[TV_CNT_OUT_FRAMES] = (100 + (h >> 16) % 900) * t / 1000;
    c[TV_CNT_DISCARDS] = c[TV_CNT_IN_FRAMES] / 4096;
    c[TV_CNT_FBSY_FRAMES] = c[TV_CNT_OUT_FRAMES] / 8192;
    // Logging in took one link reset and one offline sequence each way.
    const std::uint64_t once = t > 0 ? 1 : 0;
    c[TV_CNT_LINK_RESET_IN] = c[TV_CNT_LINK_RESET_OUT] = c[TV_CNT_OLS_IN] = c[TV_CNT_OLS_OUT] = once;
    // A sound port sees an invalid transmission word now and then, once every one to two minutes.
    c[TV_CNT_INVALID_TX_WORDS] = t / (60000 + (h >> 32) % 60000);
    if (d.faulty.at(port)) {
        c[TV_CNT_INVALID_TX_WORDS] += t / 100;
        c[TV_CNT_CRC_ERRS] = t / 250;
        c[TV_CNT_SYNC_LOSSES] = c[TV_CNT_SYNC_LOSS] = t / 2000;
        c[TV_CNT_LOSS_OF_SIGNAL] = t / 10000;
        c[TV_CNT_LINK_FAILS] = t / 30000;
    }
    if (is_loop(s.get<port_state>().active.at(port).type) && t > 0) {
        // The loop initialised when the port logged in and again once a minute since.
        const std::uint64_t inits = 1 + t / 60000;
        c[TV_CNT_TOTAL_LIP] = c[TV_CNT_LIP_F7_F7] = c[TV_CNT_AL_INITS] = inits;
    }
    std::array<std::uint32_t, TV_PORT_COUNTER_WORDS> out{};
    // The switch's counters are 32 bits wide and wrap.
    for (std::size_t k = 0; k < c.size(); ++k) out[k] = static_cast<std::uint32_t>(c[k]);
    return out;
}

const family_info& diag_family::info() {
    static const family_info f{.name = "diagnostics",
                               .handlers = table,
                               .port_keys = port_keys,
                               .read_port = read_port,
                               .seed = seed,
                               .on_reset = on_reset,
                               .fabric_keys = fabric_keys,
                               .read_fabric = read_fabric,
                               .on_request = settle};
    return f;
}

}  // namespace sim
