// The watcher's events against a fabric of the simulator running in this process: keeping a
// trap listener registration with each switch, the receiver's trust rules against real and
// forged traps, the system log read back from a socket the test binds, and a real Alertmanager
// that shows the trap's alert.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "history/time_text.h"
#include "proto/header.h"
#include "support/alertmanager.h"
#include "support/log_socket.h"
#include "support/sim_fixture.h"
#include "support/temp_folder.h"
#include "support/test_addresses.h"
#include "support/trap_message.h"
#include "switchsim/families/traps_family.h"
#include "telvard/events/alertmanager_sink.h"
#include "telvard/events/registration.h"
#include "telvard/events/syslog_sink.h"
#include "telvard/events/trap_receiver.h"
#include "telvard/events/trap_text.h"

namespace {

namespace ev = telvar::events;
namespace h = telvar::history;
using bytes = std::vector<std::uint8_t>;

const std::string fabric_name = tvtest::addr::watcher_events_base;

in_addr ip(const char* text) {
    in_addr a{};
    inet_pton(AF_INET, text, &a);
    return a;
}

// The default fabric's switches as a reading names them.
std::vector<h::switch_ref> switches() {
    return {{"10:00:00:00:5e:01:00:00", "0x104000", 1},
            {"10:00:00:00:5e:02:00:00", "0x108000", 2},
            {"10:00:00:00:5e:03:00:00", "0x10c000", 3}};
}

// A whole trap message as a switch sends it.
bytes trap_message(std::uint32_t source, std::uint8_t code, std::uint8_t status = TV_HDR_STATUS_OK) {
    return tvtest::trap_message({1, 4, 0, status, source, TV_CMD_TRAP, 32, 7}, {source, 4, code, TV_TRAP_RISING, 9, 3});
}

// At 2026-12-06T07:30:00.123Z: port 3 of the first switch, trap 10 rising.
h::event_row sample_event() {
    return {0, 1796542200123, fabric_name, switches()[0], fabric_name + ":5000", 3, 10, TV_TRAP_RISING, 5, 1, "Port Logout"};
}

ev::syslog_options log_to(const std::string& path, ev::syslog_format format) {
    ev::syslog_options o;
    o.socket_path = path;
    o.format = format;
    o.hostname = "watcher";
    return o;
}

ev::alertmanager_options alerts_to(const std::string& url,
                                   const std::function<void(ev::alertmanager_options&)>& more = {}) {
    ev::alertmanager_options o;
    o.url = url;
    if (more) more(o);
    return o;
}

class watcher_events : public tvtest::fabric_test {
protected:
    watcher_events() : fabric_test(tvtest::addr::watcher_events_base) {}

    std::vector<sim::trap_listener_addr> listeners_of(std::size_t i) {
        return fab.on_switch(i, [](sim::switch_state& s) { return s.get<sim::trap_state>().listeners; });
    }
    // Takes what reaches the receiver until `done` holds (at most 5 s: a loaded machine).
    std::vector<h::event_row> take_until(const std::function<bool(const std::vector<h::event_row>&)>& done) {
        std::vector<h::event_row> all;
        for (int i = 0; i < 100 && !done(all); ++i) {
            pollfd p{rx.fd(), POLLIN, 0};
            ::poll(&p, 1, 50);
            for (auto& e : rx.take(h::now_ms())) all.push_back(std::move(e));
        }
        return all;
    }
    std::uint64_t refused_total() const {
        std::uint64_t n = 0;
        for (const auto c : rx.refused()) n += c;
        return n;
    }
    // Sends `m` to the receiver from `from` (any port).
    void send_from(const char* from, const bytes& m) {
        const tv::unique_fd s{::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)};
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr = ip(from);
        ASSERT_EQ(0, ::bind(s.get(), reinterpret_cast<const sockaddr*>(&a), sizeof a));
        const sockaddr_in to = rx.local();
        ASSERT_EQ(static_cast<ssize_t>(m.size()),
                  ::sendto(s.get(), m.data(), m.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to));
    }
    std::uint16_t port() const { return ntohs(rx.local().sin_port); }

    ev::trap_receiver rx{{tvtest::addr::watcher_events_receiver, 0}};
    const in_addr self = ip(tvtest::addr::watcher_events_receiver);
};

TEST_F(watcher_events, registers_once_and_again_when_the_registration_is_gone) {
    const sim::trap_listener_addr us{self.s_addr, port()};
    const auto r = ev::ensure_registered(ctx, 0x104000, self, port());
    EXPECT_EQ(0, r.status);
    EXPECT_TRUE(r.registered);
    EXPECT_EQ(std::vector{us}, listeners_of(0));

    // Registered already: one read of the table, nothing added.
    fab.server().clear_records();
    EXPECT_FALSE(ev::ensure_registered(ctx, 0x104000, self, port()).registered);
    ASSERT_EQ(1u, fab.requests().size());
    EXPECT_EQ(tv::layout::traps::subcmd::listeners, tv::wire::get_be32(fab.requests()[0], tv::off::subcmd));
    EXPECT_EQ(std::vector{us}, listeners_of(0));

    // Removed behind its back: registered again, once.
    ASSERT_EQ(0, tv_set_trap_listener(ctx, self.s_addr, port(), 1));
    ASSERT_TRUE(listeners_of(0).empty());
    EXPECT_TRUE(ev::ensure_registered(ctx, 0x104000, self, port()).registered);
    EXPECT_EQ(std::vector{us}, listeners_of(0));

    // Another switch through the gateway; the context addresses what it did before.
    EXPECT_TRUE(ev::ensure_registered(ctx, 0x108000, self, port()).registered);
    EXPECT_EQ(std::vector{us}, listeners_of(1));
    EXPECT_EQ(static_cast<std::uint32_t>(TV_DEFAULT_DEST), ctx->dest_fc_addr);

    // A switch that is not there: the read's failure, nothing registered. (Taking the
    // registrations back is watcher_test's, at the watcher's stop.)
    const auto missing = ev::ensure_registered(ctx, 0x13C000, self, port());
    EXPECT_NE(0, missing.status);
    EXPECT_FALSE(missing.registered);
    EXPECT_TRUE(listeners_of(2).empty());

    // Bound to any address, the one this host reaches the switch from is registered.
    EXPECT_EQ(ctx->local_addr.sin_addr.s_addr, ev::listener_address(ctx, ip("0.0.0.0")).s_addr);
}

TEST_F(watcher_events, a_raised_trap_arrives_decoded_and_only_from_the_fabric) {
    rx.watch(fabric_name, ip(tvtest::addr::watcher_events_base), switches());
    ASSERT_TRUE(ev::ensure_registered(ctx, 0x104000, self, port()).registered);
    ASSERT_TRUE(ev::ensure_registered(ctx, 0x108000, self, port()).registered);

    // Counter 11 of unit 1 past its rising threshold of 10. The test alert that follows comes
    // from this host, without a header: refused.
    const tv_trap_counter up{11, 1, 0, 25};
    ASSERT_EQ(0, tv_set_trap_counter(ctx, &up));
    auto got = take_until([&](const auto& all) { return !all.empty() && refused_total() == 1; });
    ASSERT_EQ(1u, got.size());
    // The line names every field but the sender (its form is the trap_text test's).
    EXPECT_EQ("fabric 127.0.43.2 switch 10:00:00:00:5e:01:00:00 (chassis 1, 0x104000) trap 11 Fibre Port CRC Error "
              "port 1 rising value 25 change 25",
              ev::trap_line(got[0]));
    EXPECT_EQ(fabric_name + ":5000", got[0].sender);

    // Switch 2 sends from its own address: refused until the fabric names it.
    const auto raise_on_switch_2 = [&](std::int32_t value) {
        tv_set_dest_addr(ctx, 0x108000);
        const tv_trap_counter c{11, 1, 0, value};
        ASSERT_EQ(0, tv_set_trap_counter(ctx, &c));
        tv_restore_dest_addr(ctx);
    };
    raise_on_switch_2(30);
    EXPECT_TRUE(take_until([&](const auto&) { return refused_total() == 3; }).empty());
    rx.watch(fabric_name, ip(tvtest::addr::watcher_events_base), switches(), {ip("127.0.43.3")});
    raise_on_switch_2(0);  // back under its falling threshold of 2
    got = take_until([&](const auto& all) { return !all.empty() && refused_total() == 4; });
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ("0x108000", got[0].sw.fc_address);
    EXPECT_EQ(TV_TRAP_FALLING, got[0].alert);
    EXPECT_EQ("127.0.43.3:5000", got[0].sender);
    EXPECT_EQ("4 datagrams refused: 4 from an address not watched", ev::describe(rx.refused()));

    // Forged and broken traps, from the fabric's address and from elsewhere: each refused and
    // counted by its reason; the good one behind them still taken.
    const char* gateway = tvtest::addr::watcher_events_base;
    bytes bad_sum = trap_message(0x104000, 12);
    bad_sum.back() ^= 1;
    bytes cut = trap_message(0x104000, 12);
    cut.resize(40);
    send_from(tvtest::addr::watcher_events_forger, trap_message(0x104000, 12));
    send_from(gateway, bytes(16, 0));
    send_from(gateway, bytes(48, 0));
    send_from(gateway, bad_sum);
    send_from(gateway, cut);
    send_from(gateway, trap_message(0x104000, 12, 0x01));
    send_from(gateway, trap_message(0x13C000, 12));
    rx.forget("another fabric");  // forgetting a fabric never watched changes nothing
    send_from(gateway, trap_message(0x10C000, 12));
    got = take_until([](const auto& all) { return !all.empty(); });
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ("0x10c000", got[0].sw.fc_address);
    EXPECT_EQ(12, got[0].code);
    EXPECT_EQ(4, got[0].unit);
    EXPECT_EQ("11 datagrams refused: 5 from an address not watched, 2 all zero, 2 not a whole trap message, "
              "1 with an error status, 1 from a switch not of its fabric",
              ev::describe(rx.refused()));

    // A fabric no longer watched: its traps are refused.
    rx.forget(fabric_name);
    send_from(gateway, trap_message(0x104000, 12));
    EXPECT_TRUE(take_until([&](const auto&) { return refused_total() == 12; }).empty());
    EXPECT_EQ(6u, rx.refused()[static_cast<std::size_t>(ev::refusal::unknown_sender)]);
    EXPECT_EQ("", ev::describe({}));
}

TEST(trap_text, lines_name_the_unit_the_alert_and_keep_out_control_characters) {
    h::event_row e = sample_event();
    EXPECT_EQ("fabric 127.0.43.2 switch 10:00:00:00:5e:01:00:00 (chassis 1, 0x104000) trap 10 Port Logout "
              "port 3 rising value 5 change 1",
              ev::trap_line(e));
    e.code = 30, e.unit = 1, e.alert = TV_TRAP_FALLING, e.value = -2, e.description = ev::trap_description(30);
    EXPECT_EQ("fabric 127.0.43.2 switch 10:00:00:00:5e:01:00:00 (chassis 1, 0x104000) trap 30 K9 ASIC - Control "
              "Port Parity Error asic 1 falling value -2 change 1",
              ev::trap_line(e));
    e.code = 99, e.alert = 7, e.fabric = "bad\nfabric\x1b[2J\xc3\xa9", e.description = ev::trap_description(99);
    EXPECT_EQ("fabric bad?fabric?[2J?? switch 10:00:00:00:5e:01:00:00 (chassis 1, 0x104000) trap 99 Test alert "
              "alert 7 value -2 change 1",
              ev::trap_line(e));
    EXPECT_EQ("unknown trap code 40", ev::trap_description(40));
    EXPECT_EQ("1969-12-31T23:59:59.999Z", ev::rfc3339(-1));
}

TEST(syslog_sink, lines_reach_the_socket_in_either_format_and_are_counted_when_lost) {
    const tvtest::temp_folder dir;
    tvtest::log_socket log(dir.path("log.sock"));
    ASSERT_TRUE(log.bound());
    const std::string pid = std::to_string(::getpid());
    h::event_row e = sample_event();
    {
        ev::syslog_sink sink(log_to(log.path(), ev::syslog_format::rfc5424));
        sink.send(e);
        EXPECT_EQ("<28>1 2026-12-06T07:30:00.123Z watcher telvard " + pid + " trap - " + ev::trap_line(e), log.next());
    }
    ev::syslog_sink sink(log_to(log.path(), ev::syslog_format::rfc3164));
    e.alert = TV_TRAP_FALLING;
    sink.send(e);
    const std::string line = log.next();
    EXPECT_TRUE(std::regex_match(line, std::regex("<29>Dec [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} watcher telvard\\[" +
                                                  pid + "\\]: fabric 127\\.0\\.43\\.2 .* falling value 5 change 1")))
        << line;
    EXPECT_EQ(0u, sink.lost());

    // Nobody reads at the path any more: the line is lost and counted, the caller not held.
    std::filesystem::remove(log.path());
    sink.send(e);
    EXPECT_EQ(1u, sink.lost());
    EXPECT_THROW(ev::syslog_sink(log_to(std::string(200, 'x'), ev::syslog_format::rfc5424)), std::runtime_error);
}

// A TCP server that takes connections and never answers.
class silent_http {
public:
    silent_http() {
        sock_.reset(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr = ip(tvtest::addr::watcher_silent_http);
        socklen_t len = sizeof a;
        ::bind(sock_.get(), reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(sock_.get(), 16);
        ::getsockname(sock_.get(), reinterpret_cast<sockaddr*>(&a), &len);
        url_ = std::string("http://") + tvtest::addr::watcher_silent_http + ":" + std::to_string(ntohs(a.sin_port));
    }
    const std::string& url() const { return url_; }

private:
    tv::unique_fd sock_;
    std::string url_;
};

// The alert Alertmanager holds for the trap, found by its labels; null when there is none.
nlohmann::json alert_for(const tvtest::running_alertmanager& am, const h::event_row& e) {
    for (int i = 0; i < 100; ++i) {
        if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        const auto doc = nlohmann::json::parse(am.alerts(), nullptr, false);
        if (!doc.is_array()) continue;
        for (const auto& a : doc)
            if (a["labels"]["fabric"] == e.fabric && a["labels"]["code"] == std::to_string(e.code)) return a;
    }
    return nullptr;
}

// Plain HTTP to a real Alertmanager is watcher_test's, end to end.
TEST(alertmanager_sink, https_with_the_servers_authority_shows_the_traps_alert) {
    tvtest::running_alertmanager am(tvtest::addr::watcher_alertmanager_tls, tvtest::addr::watcher_alertmanager_client,
                                    true);
    ASSERT_TRUE(am.ready()) << am.why_not();
    h::event_row e = sample_event();
    e.at = h::now_ms();
    {
        ev::alertmanager_sink untrusting(alerts_to(am.url(), [](auto& o) { o.attempts = 1; }));
        untrusting.post(e);
        untrusting.stop(std::chrono::seconds(30));
        EXPECT_EQ(1u, untrusting.counts().failed);
    }
    ev::alertmanager_sink sink(alerts_to(am.url() + "/", [&](auto& o) { o.ca_file = am.ca_file().string(); }));
    ASSERT_TRUE(sink.post(e));
    sink.stop(std::chrono::seconds(30));
    EXPECT_EQ(1u, sink.counts().sent);
    EXPECT_EQ(0u, sink.counts().failed);

    const nlohmann::json alert = alert_for(am, e);
    ASSERT_FALSE(alert.is_null()) << am.alerts();
    const nlohmann::json labels = {{"alertname", "FabricTrap"}, {"fabric", fabric_name},
                                   {"switch", "10:00:00:00:5e:01:00:00"}, {"chassis", "1"},
                                   {"code", "10"}, {"unit", "3"}, {"alert", "rising"}, {"severity", "warning"}};
    EXPECT_EQ(labels, alert["labels"]);
    EXPECT_EQ(ev::trap_line(e), alert["annotations"]["summary"]);
    EXPECT_EQ("Port Logout", alert["annotations"]["description"]);
    EXPECT_EQ(ev::rfc3339(e.at), alert["startsAt"]);
    EXPECT_TRUE(alert["endsAt"].get<std::string>().starts_with(ev::rfc3339(e.at + 15 * 60 * 1000).substr(0, 16)))
        << alert["endsAt"];
}

TEST(alertmanager_sink, failures_are_retried_then_dropped_and_stop_keeps_its_deadline) {
    EXPECT_THROW(ev::alertmanager_sink(alerts_to("ftp://" + std::string(tvtest::addr::watcher_alertmanager))),
                 std::invalid_argument);
    const h::event_row e = sample_event();
    // Nothing listens: every attempt fails at once.
    {
        ev::alertmanager_sink sink(alerts_to(std::string("http://") + tvtest::addr::watcher_silent_http + ":1",
                                             [](auto& o) { o.retry_pause = std::chrono::milliseconds(1); }));
        sink.post(e);
        sink.post(e);
        sink.stop(std::chrono::seconds(30));
        EXPECT_EQ(0u, sink.counts().sent);
        EXPECT_EQ(4u, sink.counts().retried);
        EXPECT_EQ(2u, sink.counts().failed);
    }
    // A server that never answers, and a queue of one: what does not fit is dropped at once,
    // and stop() abandons the transfer in flight and what waits behind it.
    silent_http server;
    ev::alertmanager_sink sink(alerts_to(server.url(), [](auto& o) {
        o.timeout = std::chrono::seconds(60);
        o.queue_limit = 1;
    }));
    std::size_t queued = 0;
    for (int i = 0; i < 3; ++i) queued += sink.post(e) ? 1 : 0;
    sink.stop(std::chrono::milliseconds(100));
    const auto c = sink.counts();
    EXPECT_LE(queued, 2u);
    EXPECT_EQ(3 - queued, c.overflowed);
    EXPECT_EQ(queued, c.failed);
    EXPECT_EQ(0u, c.sent);
    EXPECT_FALSE(sink.post(e));  // stopped
}

}  // namespace
