// Changes whose answers get lost: the tool's report of a change must say what the switch holds
// afterwards, read here straight from the simulator's model, and a failed zone_apply run again
// must converge (`make test-loss` makes 50 seeded runs: TELVAR_LOSS_RUNS).
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "support/sim_fixture.h"
#include "support/temp_folder.h"
#include "support/test_addresses.h"
#include "support/tool_test.h"
#include "switchsim/core/faults.h"
#include "switchsim/families/chassis_family.h"
#include "switchsim/families/port_family.h"
#include "switchsim/families/zoning_family.h"

namespace {

using nlohmann::json;
using tvtest::args;

sim::server_options with_faults(std::initializer_list<const char*> rules) {
    sim::server_options o = tvtest::with_faults(rules, 20261206);
    o.record_limit = 1000;
    return o;
}

sim::wwn_t wwn_of(const std::string& text) {
    sim::wwn_t w{};
    for (std::size_t i = 0; i < w.size(); ++i) w[i] = static_cast<std::uint8_t>(std::stoul(text.substr(3 * i, 2), nullptr, 16));
    return w;
}

// Whether the switch's zoning holds what a step of a zone_apply plan sets, read from the step's
// text as a person would: "hard zone 4: ... -> ports 9 10, enabled", "wwn W: joins zone 41",
// "sl zone 2: gains ports 4", "ns_zoning: port -> wwn".
bool holds(const sim::zoning_state& z, const std::string& step) {
    std::istringstream words(step);
    std::string kind, word;
    words >> kind;
    if (kind == "ns_zoning:") return z.ns_zoning_type == (step.ends_with("wwn") ? 1 : 0);
    if (kind == "wwn") {
        std::string wwn, verb;
        std::uint32_t zone = 0;
        words >> wwn >> verb >> word >> zone;
        const auto e = std::ranges::find(z.active.wwn, wwn_of(wwn), &sim::wwn_zone_entry::wwn);
        const bool member = e != z.active.wwn.end() && ((e->zones[zone >> 5] >> (zone & 31)) & 1) != 0;
        return member == (verb == "joins");
    }
    std::uint32_t id = 0;
    words >> word >> id;
    if (kind == "sl") {
        words >> word >> word;  // ": gains ports"
        for (int p = 0; words >> p;)
            if (z.active.sl.at(static_cast<std::size_t>(p - 1)) != id) return false;
        return true;
    }
    const std::string target = step.substr(step.find("-> ports ") + 9);
    std::uint64_t members = 0;
    std::istringstream ports(target.substr(0, target.find(',')));
    for (int p = 0; ports >> p;) members |= std::uint64_t{1} << (p - 1);
    const sim::bitmap_zone want{members, target.ends_with("enabled")};
    if (kind == "hard") return z.active.hard.at(id) == want;
    if (kind == "name_server") return z.active.name_server.at(id) == want;
    return z.active.broadcast.at(id) == want;
}

// Whether the saved set of a kind ("hard", "wwn", ...) is the same in two sets of tables.
bool same_kind(const sim::zone_tables& a, const sim::zone_tables& b, const std::string& kind) {
    if (kind == "hard") return a.hard == b.hard;
    if (kind == "name_server") return a.name_server == b.name_server;
    if (kind == "broadcast") return a.broadcast == b.broadcast;
    if (kind == "sl") return a.sl == b.sl;
    return a.wwn == b.wwn;
}

class zone_apply_outcome : public tvtest::tool_test, public tvtest::temp_folder {
protected:
    explicit zone_apply_outcome(const char* base, sim::server_options o) : tool_test(base, tvtest::local_port::option, std::move(o)), ip_(base) {
        // Two zonings to go back and forth between: every kind of step of a plan, both ways.
        write("a.json", {{"ns_zoning", "port"},
                         {"hard", {{{"id", 1}, {"ports", {1, 2, 3}}}, {{"id", 4}, {"ports", {9, 10}}}}},
                         {"name_server", {{{"id", 7}, {"ports", {2, 5}}}}},
                         {"sl", {{{"id", 1}, {"ports", {4}}}}},
                         {"wwn", {{{"wwn", "21:00:00:00:5e:01:01:01"}, {"zones", {1, 41}}}, {{"wwn", "210000005e010201"}, {"zones", {1}}}}}});
        write("b.json", {{"ns_zoning", "wwn"},
                         {"hard", {{{"id", 1}, {"ports", {1, 2}}}, {{"id", 5}, {"enabled", false}, {"ports", {11}}}}},
                         {"name_server", {{{"id", 7}, {"ports", {5}}}, {{"id", 9}, {"ports", {3}}}}},
                         {"sl", {{{"id", 2}, {"ports", {4}}}}},
                         {"wwn", {{{"wwn", "21:00:00:00:5e:01:01:01"}, {"zones", {2}}}, {{"wwn", "210000005e010201"}, {"zones", {1, 3}}}}}});
    }
    void write(const std::string& name, const json& doc) const { file(name, doc.dump()); }
    sim::zoning_state zoning() {
        return fab.on_switch(0, [](sim::switch_state& s) { return s.get<sim::zoning_state>(); });
    }

    // What one `--json zone_apply -s` run came to, its report held against the switch.
    struct checked_run {
        int status = -1;
        bool matches = false;
        int unknown = 0;  // steps the report could not tell
        json doc;
    };

    checked_run apply(const std::string& file) {
        const sim::zoning_state before = zoning();
        checked_run c;
        const tvtest::tool_result r = telvar({"--json", "zone_apply", "-s", ip_, path(file)});
        c.status = r.status;
        const sim::zoning_state after = zoning();
        if (r.out.empty()) {
            // The zoning could not be read to make a plan: nothing may have changed.
            c.matches = r.status == 2 && after.active == before.active && after.saved == before.saved;
            EXPECT_TRUE(c.matches) << r.err;
            return c;
        }
        c.doc = json::parse(r.out);
        c.matches = r.status == (c.doc["status"]["code"] == 0 ? 1 : 2);
        for (const json& s : c.doc["steps"]) {
            const std::string outcome = s["outcome"];
            if (outcome == "unknown") {
                ++c.unknown;
                continue;
            }
            const bool ok = holds(after, s["step"]) == (outcome == "applied");
            EXPECT_TRUE(ok) << s.dump() << "\n" << r.out << r.err;
            c.matches = c.matches && ok;
        }
        for (const json& s : c.doc["saves"]) {
            const std::string kind = s["kind"], outcome = s["outcome"];
            if (outcome == "unknown") continue;
            // Saved: the saved set is the active one; not saved: it is what it was.
            const bool ok = outcome == "saved" ? same_kind(after.saved, after.active, kind) : same_kind(after.saved, before.saved, kind);
            EXPECT_TRUE(ok) << s.dump() << "\n" << r.out << r.err;
            c.matches = c.matches && ok;
        }
        // Success means every step applied and every kind saved.
        if (c.status == 1)
            for (const json& s : c.doc["steps"]) c.matches = c.matches && s["outcome"] == "applied";
        return c;
    }

    // Whether a run without loss finds nothing left to change.
    bool converged(const std::string& file) {
        fab.server().clear_faults();
        const tvtest::tool_result r = telvar({"zone_apply", "--dry-run", ip_, path(file)});
        return r.status == 0;
    }

    std::string ip_;
};

class zone_apply_under_loss : public zone_apply_outcome {
protected:
    zone_apply_under_loss() : zone_apply_outcome(tvtest::addr::changes_loss_base, with_faults({"drop,p=0.3"})) {}
};

TEST_F(zone_apply_under_loss, every_report_matches_the_switch_and_a_rerun_converges) {
    const char* wanted = std::getenv("TELVAR_LOSS_RUNS");
    const int runs = wanted != nullptr ? std::max(1, std::atoi(wanted)) : 4;
    int failed = 0, matched = 0, unknown = 0, converged_runs = 0, reruns = 0;
    std::string why;
    for (int i = 0; i < runs; ++i) {
        const std::string file = i % 2 == 0 ? "a.json" : "b.json";
        checked_run c = apply(file);
        matched += c.matches ? 1 : 0;
        unknown += c.unknown;
        if (c.status != 2) continue;
        ++failed;
        // Again, under the same loss, until a run succeeds; each rerun is held against the
        // switch as well. Then a run without loss must find nothing left.
        for (int again = 0; again < 5 && c.status == 2; ++again) {
            ++reruns;
            c = apply(file);
            EXPECT_TRUE(c.matches);
        }
        if (c.status != 2 && converged(file)) ++converged_runs;
        fab.server().add_fault(*sim::parse_fault("drop,p=0.3", why));
    }
    std::printf("zone_apply -s at 30 %% loss: %d runs, %d failed, %d reports matched the switch, "
                "%d steps unknown, %d of the failed converged after %d reruns\n",
                runs, failed, matched, unknown, converged_runs, reruns);
    EXPECT_EQ(runs, matched);
    EXPECT_EQ(failed, converged_runs);
}

class zone_apply_failures : public zone_apply_outcome {
protected:
    zone_apply_failures() : zone_apply_outcome(tvtest::addr::changes_outcome_base, {}) {}
    void SetUp() override { write("hard.json", {{"hard", {{{"id", 1}, {"ports", {1, 2, 3}}}, {{"id", 2}, {"enabled", false}, {"ports", {5, 6}}}, {{"id", 4}, {"ports", {9, 10}}}}},
                                                {"wwn", {{{"wwn", "21:00:00:00:5e:01:01:01"}, {"zones", {1, 40, 41}}}, {{"wwn", "210000005e010201"}, {"zones", {1}}}}}}); }
    std::string ip() const { return ip_; }
};

// Every answer to the hard-zone write is lost, though the switch made it: the step failed, the
// report says it was applied and the step after it was not; nothing was saved; a rerun does the
// rest and saves it.
TEST_F(zone_apply_failures, a_write_whose_answers_were_lost_is_read_back_as_applied_and_a_rerun_converges) {
    std::string why;
    fab.server().add_fault(*sim::parse_fault("drop,sub=0x3a,count=6", why));
    const sim::zone_tables saved_before = zoning().saved;
    const std::string hard = "hard zone 4: ports none, disabled -> ports 9 10, enabled";
    const std::string join = "wwn 21:00:00:00:5e:01:01:01: joins zone 41";
    tvtest::tool_result r = telvar({"zone_apply", "-s", ip(), path("hard.json")});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("zoning of 10:00:00:00:5e:01:00:00: plan\n  " + hard + "\n  " + join + "\n"
              "outcome, read back from the switch:\n"
              "  applied: " + hard + "\n"
              "  not applied: " + join + "\n"
              "  not saved: hard zoning\n"
              "  not saved: wwn zoning\n",
              r.out);
    EXPECT_EQ("telvar: zone_apply: " + hard + ": No response received\n", r.err);
    EXPECT_TRUE(holds(zoning(), hard));
    EXPECT_FALSE(holds(zoning(), join));
    EXPECT_EQ(saved_before, zoning().saved);

    r = telvar({"zone_apply", "-s", ip(), path("hard.json")});
    EXPECT_EQ(1, r.status) << r.err;
    EXPECT_EQ("zoning of 10:00:00:00:5e:01:00:00: plan\n  " + join + "\nSUCCESS\n", r.out);
    EXPECT_EQ(zoning().active, zoning().saved);
    EXPECT_TRUE(converged("hard.json"));
}

// The switch falls silent while the hard-zone write is under way (its answer comes after the exchange gave up):
// nothing can be read back, so that step is unknown, the one after it was never sent, and the
// document says why; it is a document of the schema.
TEST_F(zone_apply_failures, a_step_that_cannot_be_read_back_is_unknown) {
    std::string why;
    fab.server().add_fault(*sim::parse_fault("delay=5000,sub=0x3a", why));
    tvtest::child_tool run(TELVAR_BIN, {"--json", "zone_apply", "-port", "0", ip(), path("hard.json")});
    const auto seen = [&] { return std::ranges::count(fab.subcommands(), 0x3Au) > 0; };
    for (int i = 0; i < 3000 && !seen(); ++i) usleep(1000);
    ASSERT_TRUE(seen());
    fab.server().add_fault(*sim::parse_fault("silence", why));
    const tvtest::tool_result r = run.finish();
    EXPECT_EQ(2, r.status);
    const json doc = json::parse(r.out);
    EXPECT_EQ(json::parse(R"([{"step": "hard zone 4: ports none, disabled -> ports 9 10, enabled", "outcome": "unknown"},
                              {"step": "wwn 21:00:00:00:5e:01:01:01: joins zone 41", "outcome": "not applied"}])"),
              doc["steps"]);
    EXPECT_EQ(106, doc["read_back"]["code"]);
    EXPECT_EQ(106, doc["status"]["code"]);
    EXPECT_EQ(json::array(), doc["done"]);
    EXPECT_TRUE(doc["changed"]);  // it may have
    std::ofstream(path("unknown.json")) << r.out;
    const auto checked = tvtest::run_tool("/usr/bin/python3", {TELVAR_SOURCE_DIR "/tests/validate_json.py", TELVAR_SOURCE_DIR "/docs/telvar.schema.json", "zone_apply=" + path("unknown.json")});
    if (checked.status == 77 || checked.status == 127) GTEST_SKIP() << "python3-jsonschema is not installed";
    EXPECT_EQ(0, checked.status) << checked.out << checked.err;
}

// Every answer to port 1's type message is lost, though the switch made the change: the
// command fails there as it always has, and standard error says which ports hold the type.
TEST_F(zone_apply_failures, a_change_of_every_port_type_that_fails_is_read_back) {
    std::string why;
    fab.server().add_fault(*sim::parse_fault("drop,sub=0x63,count=6", why));
    const tvtest::tool_result r = telvar({"port_type", "-s", "tl", ip(), "all"});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("Port 1: Error: No response received\n", r.out);
    std::string expected = "telvar: port_type: what the switch holds, read back:\n";
    fab.on_switch(0, [&](sim::switch_state& sw) {
        const auto& ports = sw.get<sim::port_state>().active;
        ASSERT_EQ(TV_PORT_TYPE_TL, ports.at(0).type);  // made, its answers lost
        for (std::size_t i = 0; i < ports.size(); ++i)
            expected += "telvar: port_type:   port " + std::to_string(i + 1) + ": " + (ports[i].type == TV_PORT_TYPE_TL ? "applied" : "not applied") + "\n";
    });
    EXPECT_EQ(expected, r.err);
}

// A switch that stays silent gets six tries from every command but discovery (the tool does not
// run its commands in the library's discovery timing), and --wait alone keeps six; the waits
// that ended without an answer are on standard error with -v only.
TEST_F(zone_apply_failures, a_silent_switch_gets_six_tries_and_quiet_waits) {
    std::string why;
    fab.server().add_fault(*sim::parse_fault("silence", why));
    const auto tries = [&](const args& a) {
        fab.server().clear_records();
        const tvtest::tool_result r = telvar(a);
        EXPECT_EQ(2, r.status);
        EXPECT_EQ("Error: No response received\n", r.out);
        return std::make_pair(fab.requests().size(), r.err);
    };
    const auto [plain, quiet] = tries({"version", ip()});
    EXPECT_EQ(6u, plain);
    EXPECT_EQ("", quiet);
    EXPECT_EQ(6u, tries({"version", ip(), "--wait", "20"}).first);
    const auto [verbose, said] = tries({"version", "-v", ip()});
    EXPECT_EQ(6u, verbose);
    EXPECT_NE(std::string::npos, said.find("Time out in select\n")) << said;
}

// defaults whose parameter write is made but every answer to it lost, at 30 % loss: the command
// reports its failure as it always has, and the read-back on standard error says for each key
// what the switch holds, as the simulator's model has it.
class defaults_outcome : public tvtest::tool_test, public tvtest::temp_folder {
protected:
    explicit defaults_outcome(std::initializer_list<const char*> rules)
        : tool_test(tvtest::addr::defaults_loss_base, tvtest::local_port::option, with_faults(rules)) {}

    // The file's lines, and each line's verdict as the switch's model has it.
    struct key_line {
        std::string line;
        std::function<bool(const sim::chassis_state&, bool saved)> holds;
        bool network = false;
    };
    static std::vector<key_line> lines(std::uint32_t ed_tov, std::uint16_t mfs_tov, std::uint32_t arp) {
        return {
            {"ED_TOV=" + std::to_string(ed_tov), [=](const sim::chassis_state& c, bool saved) { return (saved ? c.saved : c.active).ed_tov == ed_tov; }},
            {"mfs_tov " + std::to_string(mfs_tov), [=](const sim::chassis_state& c, bool saved) { return (saved ? c.saved : c.active).mfs_tov == mfs_tov; }},
            {"Force_F_Port 1,0,1", [](const sim::chassis_state& c, bool saved) {
                 const auto& f = (saved ? c.saved : c.active).force_f_port;
                 return f[0] == 1 && f[1] == 0 && f[2] == 1;
             }},
            {"ip_gateway 10.20.1.254", [](const sim::chassis_state& c, bool) { return c.net.ip_gateway == 0x0A1401FEu; }, true},
            {"IP_ArpTimeout " + std::to_string(arp), [=](const sim::chassis_state& c, bool) { return c.net.arp_timeout == arp; }, true},
        };
    }
    // Runs defaults with the lines; the read-back's lines, each checked against the model (an
    // unknown one is counted, not checked).
    int run_checked(const std::vector<key_line>& keys, int& unknown) {
        {
            std::ofstream out(file_);
            out << "# written by the test\n";
            for (const key_line& k : keys) out << k.line << "\n";
        }
        const tvtest::tool_result r = telvar({"defaults", tvtest::addr::defaults_loss_base, file_});
        EXPECT_EQ("filename: " + file_ + "\nError: No response received\n", r.out);
        const sim::chassis_state c = fab.on_switch(0, [](sim::switch_state& s) { return s.get<sim::chassis_state>(); });
        const std::string head = "telvar: defaults: what the switch holds of " + file_ + ", read back:\n";
        const std::size_t at = r.err.find(head);
        EXPECT_NE(std::string::npos, at) << r.err;
        std::istringstream report(at == std::string::npos ? "" : r.err.substr(at + head.size()));
        for (const key_line& k : keys) {
            std::string got;
            std::getline(report, got);
            const std::string prefix = "telvar: defaults:   " + k.line + ": ";
            EXPECT_EQ(0u, got.find(prefix)) << got;
            if (got.starts_with(prefix + "unknown")) {
                ++unknown;
                continue;
            }
            const bool active = k.holds(c, false), saved = k.holds(c, true);
            const std::string verdict = !active ? "not applied" : k.network || saved ? "applied" : "applied, not saved";
            EXPECT_EQ(prefix + verdict, got) << r.err;
        }
        return r.status;
    }

    const std::string file_ = path("defaults.txt");
};

class defaults_under_loss : public defaults_outcome {
protected:
    defaults_under_loss() : defaults_outcome({"drop,p=0.3"}) {}
};

TEST_F(defaults_under_loss, the_read_back_says_what_the_switch_holds_of_each_key) {
    std::string why;
    int unknown = 0;
    for (int run = 0; run < 3; ++run) {
        fab.server().add_fault(*sim::parse_fault("drop,sub=4,count=6", why));  // the parameter write's
        EXPECT_EQ(2, run_checked(lines(3000 + 100 * run, static_cast<std::uint16_t>(100 + run), 700 + run), unknown));
    }
    std::printf("defaults at 30 %% loss: %d keys unknown\n", unknown);
}

// The active parameters cannot be read back: their keys are unknown, the network ones are not.
class defaults_unreadable : public defaults_outcome {
protected:
    defaults_unreadable() : defaults_outcome({"drop,sub=4,count=6", "silence,sub=1"}) {}
};

TEST_F(defaults_unreadable, keys_that_cannot_be_read_back_are_unknown) {
    std::ofstream(file_) << "ED_TOV 2500\nip_gateway 10.20.1.254\n";
    const tvtest::tool_result r = telvar({"defaults", tvtest::addr::defaults_loss_base, file_});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("Set config Error\n"
              "telvar: defaults: what the switch holds of " + file_ + ", read back:\n"
              "telvar: defaults:   ED_TOV 2500: unknown (reading it back failed: No response received)\n"
              "telvar: defaults:   ip_gateway 10.20.1.254: applied\n",
              r.err);
}

}  // namespace
