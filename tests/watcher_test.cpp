// telvard end to end, as an administrator meets it: the watcher and the tool as child processes
// against a fabric of the simulator run in this process, on SQLite and on a PostgreSQL server of
// the test's own. Each change made between two readings shows once in `telvar history` with
// its before and after; a switch silent for a reading is one row, never its removal; the past
// rebuilt with `snapshot --at` equals a snapshot taken then; a trap reaches the history, the
// system log and a real Alertmanager. (A writer killed mid-write is history_store_test's.)
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <thread>

#include "history/store.h"
#include "history/time_text.h"
#include "support/alertmanager.h"
#include "support/log_socket.h"
#include "support/postgres_server.h"
#include "support/temp_folder.h"
#include "support/test_addresses.h"
#include "support/tool_test.h"

namespace {

namespace H = telvar::history;
using nlohmann::json;
using tvtest::args;
using namespace std::chrono_literals;

class watcher : public tvtest::tool_test {
protected:
    explicit watcher(const char* base) : tool_test(base), base_(base) {}

    void SetUp() override {
        Discover = 0;
        tv_api_open(nullptr);
        ctx_ = tv_open(base_);
        ASSERT_NE(nullptr, ctx_);
    }
    void TearDown() override { tv_close(ctx_); }

    // One reading by `telvard --once`: status 3 when not every switch answered.
    void reading(int status = 0) {
        const tvtest::tool_result r = tvtest::run_tool(TELVARD_BIN, {"--once", "--db", db, base_});
        ASSERT_EQ(status, r.status) << r.err;
    }
    // The rows `telvar history` shows.
    json history(args more = {}) {
        args a{"history", "--json", "--db", db};
        a.insert(a.end(), more.begin(), more.end());
        const tvtest::tool_result r = tvtest::run_tool(TELVAR_BIN, a);
        EXPECT_EQ(0, r.status) << r.err;
        return json::parse(r.out.empty() ? "{}" : r.out).value("changes", json::array());
    }
    // The rows of one kind and key.
    static std::vector<json> rows(const json& all, const std::string& kind, const std::string& key) {
        std::vector<json> out;
        for (const json& r : all)
            if (r["kind"] == kind && r["key"] == key) out.push_back(r);
        return out;
    }
    void silence(std::size_t sw, bool on) {
        fab.on_switch(sw, [&](sim::switch_state& s) {
            s.silent_until = on ? std::chrono::steady_clock::now() + 1h : std::chrono::steady_clock::time_point{};
        });
    }

    // The whole story on the database `db`.
    void changes_once_each() {
        ASSERT_NO_FATAL_FAILURE(reading());
        const json first = history();  // one row, however many items
        ASSERT_EQ(1u, first.size()) << first.dump(1);
        EXPECT_EQ(json({{"devices", 14}, {"switches", 3}}), first[0]["after"]);
        // A time after the first reading and before any change, on a whole second.
        std::this_thread::sleep_for(1100ms);
        const H::time_ms then = H::now_ms() / 1000 * 1000;
        const std::string then_file = dir.path("then.json"), at_file = dir.path("at.json");
        ok({"snapshot", "-o", then_file, base_});

        ASSERT_EQ(0, tv_set_port_state(ctx_, 3, TV_PORT_STATE_OFF));  // port 4
        uint32_t members[] = {2, 3};
        tv_port_zone zone{TV_ZONE_HD, 7, 1, 2, members};
        ASSERT_EQ(0, tv_set_port_zone(ctx_, &zone, 0));
        const std::string gone = fab.on_switch(1, [](sim::switch_state& s) {
            sim::port& p = s.ports[1];  // chassis 2, port 2: one device
            char wwn[24];
            const auto& w = p.devices.back().port_wwn;
            std::snprintf(wwn, sizeof wwn, "%02x:%02x:%02x:%02x:%02x:%02x:%02x:%02x", w[0], w[1], w[2], w[3], w[4], w[5],
                          w[6], w[7]);
            p.devices.pop_back();
            return std::string(wwn);
        });
        ASSERT_NO_FATAL_FAILURE(reading());
        const json after_changes = history();
        const auto port = rows(after_changes, "port", "4");
        ASSERT_EQ(1u, port.size()) << after_changes.dump(1);
        EXPECT_EQ("on", port[0]["before"]["admin"]);
        EXPECT_EQ("off", port[0]["after"]["admin"]);
        EXPECT_EQ(1, port[0]["switch"]["chassis"]);
        const auto zone_rows = rows(after_changes, "zone", "hard 7");
        ASSERT_EQ(1u, zone_rows.size());
        EXPECT_TRUE(zone_rows[0]["before"].is_null());
        EXPECT_EQ(json({3, 4}), zone_rows[0]["after"]["ports"]);
        const auto device = rows(after_changes, "device", gone);
        ASSERT_EQ(1u, device.size()) << gone;
        EXPECT_TRUE(device[0]["after"].is_null());
        EXPECT_EQ(2, device[0]["before"]["chassis"]);

        // Nothing more happened: nothing more is recorded.
        ASSERT_NO_FATAL_FAILURE(reading());
        EXPECT_EQ(after_changes.size(), history().size());

        // A switch silent for one reading: one row, nothing of it gone; back: one row.
        silence(2, true);
        ASSERT_NO_FATAL_FAILURE(reading(3));
        EXPECT_EQ(after_changes.size() + 1, history().size());
        const auto switch_rows = rows(history(), "switch", "");
        ASSERT_EQ(1u, switch_rows.size());
        EXPECT_EQ(3, switch_rows[0]["switch"]["chassis"]);
        silence(2, false);
        ASSERT_NO_FATAL_FAILURE(reading());
        const json back = history();
        EXPECT_EQ(after_changes.size() + 2, back.size()) << back.dump(1);
        EXPECT_EQ(2u, rows(back, "switch", "").size());

        // A link cut: the link's row on the switch that keeps it, and the switch beyond it gone.
        with([](sim::fabric& f) { f.links.pop_back(); });
        ASSERT_NO_FATAL_FAILURE(reading());
        const json cut = history({"--kind", "link"});
        ASSERT_EQ(1u, cut.size()) << cut.dump(1);
        EXPECT_EQ(2, cut[0]["switch"]["chassis"]);
        EXPECT_TRUE(cut[0]["after"].is_null());

        // The past: the fabric as it stood between the first reading and the changes.
        ok({"snapshot", "--at", H::time_text(then), "--db", db, "-o", at_file, base_});
        const tvtest::tool_result same = tvtest::run_tool(TELVAR_BIN, {"diff", then_file, at_file});
        EXPECT_EQ(0, same.status) << same.out << same.err;
    }

    tvtest::temp_folder dir;
    std::string db;
    tv_context* ctx_ = nullptr;

private:
    const char* base_;
};

class watcher_sqlite : public watcher {
protected:
    watcher_sqlite() : watcher(tvtest::addr::watcher_base) { db = "sqlite:" + dir.path("history.db"); }
};

class watcher_postgres : public watcher {
protected:
    watcher_postgres() : watcher(tvtest::addr::watcher_postgres_base) {}
    tvtest::postgres_server server;
};

TEST_F(watcher_sqlite, records_each_change_once_and_rebuilds_the_past) { changes_once_each(); }

TEST_F(watcher_postgres, records_each_change_once_and_rebuilds_the_past) {
    ASSERT_TRUE(server.ok()) << server.error();
    db = server.new_database("watcher");
    ASSERT_FALSE(db.empty());
    changes_once_each();
}

TEST_F(watcher_sqlite, a_trap_reaches_the_history_the_log_and_alertmanager) {
    tvtest::running_alertmanager alertmanager(tvtest::addr::watcher_end_alertmanager, tvtest::addr::watcher_base);
    ASSERT_TRUE(alertmanager.ready()) << alertmanager.why_not();
    tvtest::log_socket log(dir.path("log.sock"));
    const std::string conf =
        dir.file("telvard.conf", "syslog_socket " + log.path() + "\nalertmanager " + alertmanager.url() + "\ninterval 1\n");
    tvtest::child_tool daemon(TELVARD_BIN, {"--config", conf, "--db", db, tvtest::addr::watcher_base});

    // Registered with every switch after its first reading.
    const auto listeners = [&] {
        return with([](sim::fabric& fb) {
            std::size_t n = 0;
            for (const auto& s : fb.switches) n += s.get<sim::trap_state>().listeners.size();
            return n;
        });
    };
    for (int i = 0; i < 200 && listeners() < 3; ++i) std::this_thread::sleep_for(50ms);
    ASSERT_EQ(3u, listeners());

    // Code 11 is enabled with a rising threshold of 10 in the default fabric: a trap from the
    // switch the fabric is reached through, and one from the next, which sends from its own
    // address.
    tv_trap_counter counter{11, 1, 0, 20};
    tv_set_trap_counter(ctx_, &counter);
    tv_set_dest_addr(ctx_, 0x108000);
    tv_set_trap_counter(ctx_, &counter);
    json events;
    for (int i = 0; i < 100 && events.size() < 2; ++i) {
        std::this_thread::sleep_for(100ms);
        const tvtest::tool_result r = tvtest::run_tool(TELVAR_BIN, {"events", "--json", "--db", db});
        events = json::parse(r.out.empty() ? "{}" : r.out).value("events", json::array());
    }
    // The library's own test alerts come from this host, not from a switch: refused. (What a
    // trap decodes to, and its alert's labels, are watcher_events_test's.)
    ASSERT_EQ(2u, events.size()) << events.dump(1);
    for (int i = 0; i < 2; ++i) EXPECT_EQ(i + 1, events[i]["switch"]["chassis"]);

    EXPECT_NE(std::string::npos, log.next().find("(chassis 1, 0x104000) trap 11 Fibre Port CRC Error port 1 rising value 20"));
    json held = json::array();
    for (int i = 0; i < 100 && held.size() < 2; ++i) {
        std::this_thread::sleep_for(100ms);
        held = json::parse(alertmanager.alerts());
    }
    EXPECT_EQ(2u, held.size()) << held.dump(1);

    // Stopped, it takes its registrations back.
    kill(daemon.pid(), SIGTERM);
    const tvtest::tool_result end = daemon.finish(30);
    EXPECT_EQ(0, end.status) << end.err;
    EXPECT_EQ(0u, listeners());
}

}  // namespace
