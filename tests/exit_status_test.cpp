// Every command word of the tool's table, run as a child process against (a) an address where
// nothing answers and (b) a fabric whose switches answer every request with status 0x01: none
// may end as if it had done its work. Only discover (finding nothing is a result) and
// switch_reset (SUCCESS means the reset was sent; no answer is awaited) exit 0, and so does
// help. Each line is a valid command line, so anything but a failure of the switch or the
// network (2) or of the connection (3) points at the command, not at the sample.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "support/command_output.h"
#include "support/run_tool.h"
#include "support/sim_fixture.h"
#include "support/test_addresses.h"
#include "telvar/cli/command_table.h"

namespace {

using args = std::vector<std::string>;

// Stands for the switch's address in a sample line.
const std::string at = "@";

std::string temp(const std::string& name) { return ::testing::TempDir() + "exit_status_" + name; }

// A valid command line per command word, after the word and -port 0.
const std::map<std::string_view, args>& samples() {
    static const std::map<std::string_view, args> lines{
        {"discover", {at, "1"}},
        {"version", {at}},
        {"chassis_status", {at}},
        {"chassis_mode", {at}},
        {"chassis_tovs", {"-e", "2000", at}},
        {"initiators", {at}},
        {"defaults", {at, TELVAR_SOURCE_DIR "/docs/switch-defaults.txt"}},
        {"links", {at}},
        {"nameserver", {at}},
        {"port_status", {"-a", at, "all"}},
        {"port_counts", {at, "1"}},
        {"port_state", {"-s", "on", at, "2"}},
        {"port_type", {at, "all"}},
        {"port_mfs_mode", {at, "1"}},
        {"port_steering", {at, "1"}},
        {"reset_log", {at}},
        {"start_test", {"-n", "1", at, "3"}},
        {"stop_test", {at, "3"}},
        {"test_status", {at, "3"}},
        {"get_zone", {at, "hd", "1"}},
        {"set_zone", {at, "hd", "1", "1-2"}},
        {"disable_zone_type", {at, "bcst"}},
        {"ns_zone_type", {at}},
        {"wwn_zone", {"-s", at}},
        {"get_wwn_zone", {at}},
        {"set_wwn_zone", {at, "3", "210000005e010101", "host"}},
        {"rem_wwn_zone", {at, "3", "210000005e010101"}},
        {"switch_reset", {at}},
        {"message", {at, temp("message.txt")}},
        {"smlget", {at, "show", "port", "3"}},
        {"smlset", {at, "set", "port", "3", "speed", "2"}},
        {"user_add", {"-u", "admin", "-p", "secret", at, "bob", "pw", "2"}},
        {"user_delete", {"-u", "admin", "-p", "secret", at, "bob"}},
        {"passwd", {"-u", "admin", "-p", "secret", at, "new"}},
        {"get_trap_config", {at}},
        {"set_trap_config", {at, "3", "on", "10", "5"}},
        {"set_trapping", {"-t", "enabled", at}},
        {"trap_listen", {"-t", "1", at}},
        {"trap_test", {at, "3", "7"}},
        {"snapshot", {"-o", temp("snapshot.json"), at}},
        // diff reads no switch: its files are what a failed snapshot leaves, that is none.
        {"diff", {temp("missing_a.json"), temp("missing_b.json")}},
        {"locate", {at, "210000005e010101"}},
        {"zone_lint", {at}},
        {"zone_apply", {at, temp("zones.json")}},
        {"map", {"-o", temp("map.svg"), at}},
        {"panel", {"-o", temp("panel.svg"), at}},
    };
    return lines;
}

const std::set<std::string_view> done_whatever_the_switch_says{"discover", "switch_reset"};

struct run {
    std::string word;
    tvtest::tool_result result;
};

// Runs every command of the table against `address`, a few child processes at a time (a
// silent address costs each command its retry budget).
std::vector<run> run_every_command(const std::string& address) {
    constexpr std::size_t side_by_side = 8;
    std::vector<run> runs;
    std::vector<std::pair<std::string, std::unique_ptr<tvtest::child_tool>>> running;
    const auto collect = [&] {
        for (auto& [word, child] : running) runs.push_back({word, child->finish(60)});
        running.clear();
    };
    for (const telvar::command& c : telvar::commands()) {
        const auto sample = samples().find(c.word);
        if (sample == samples().end()) continue;  // reported by the test
        args line{std::string(c.word), "-port", "0"};
        for (const std::string& a : sample->second) line.push_back(a == at ? address : a);
        running.emplace_back(std::string(c.word), std::make_unique<tvtest::child_tool>(TELVAR_BIN, line));
        if (running.size() == side_by_side) collect();
    }
    collect();
    return runs;
}

void expect_no_success(const std::vector<run>& runs, const char* where) {
    for (const run& r : runs) {
        SCOPED_TRACE(std::string(where) + ": " + r.word + "\n" + r.result.out + r.result.err);
        if (done_whatever_the_switch_says.contains(r.word))
            EXPECT_EQ(0, r.result.status);
        else
            EXPECT_TRUE(r.result.status == 2 || r.result.status == 3) << "exit status " << r.result.status;
    }
}

class exit_status : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::ofstream(temp("message.txt")) << "11000000\n00fffffd\n00070004\n\n00000001\n";
        std::ofstream(temp("zones.json")) << R"({"zoning": {"hard": [{"id": 1, "ports": [1, 2]}]}})";
    }
};

TEST_F(exit_status, every_command_of_the_table_has_a_sample_line) {
    std::set<std::string_view> words;
    for (const telvar::command& c : telvar::commands()) {
        words.insert(c.word);
        EXPECT_TRUE(samples().contains(c.word)) << c.word << " has no sample line in this test";
    }
    for (const auto& [word, line] : samples()) EXPECT_TRUE(words.contains(word)) << word << " is not a command";
    EXPECT_EQ(0, tvtest::run_tool(TELVAR_BIN, {"help"}).status);
}

TEST_F(exit_status, nothing_answering_is_never_success) {
    expect_no_success(run_every_command(tvtest::addr::exit_status_silent), "nothing answers");
}

sim::server_options refusing_every_request() {
    sim::server_options refusing;
    sim::fault_rule status_01;
    status_01.kind = sim::fault_kind::status;
    status_01.value = 0x01;
    refusing.faults.push_back(status_01);
    return refusing;
}

TEST_F(exit_status, a_switch_refusing_every_request_is_never_success) {
    tvtest::running_fabric fab{tvtest::addr::exit_status_base, refusing_every_request()};
    expect_no_success(run_every_command(tvtest::addr::exit_status_base), "status 0x01");
    EXPECT_GT(fab.requests().size(), samples().size());  // the switch was asked, and refused
}

// The exported command functions over the same cores keep the values their callers know: the
// status of a failed open, wwn_zone also that of a failed save, 0 for every other failure.
TEST_F(exit_status, the_library_command_functions_return_what_they_always_did) {
    tvtest::running_fabric fab{tvtest::addr::exit_status_base, refusing_every_request()};
    const std::string sw = tvtest::addr::exit_status_base;
    tvtest::captured_output out;
    const auto call = [&](int32_t (*fn)(int32_t, char**), std::initializer_list<const char*> words) {
        tvtest::arg_vector a(words);
        const int32_t returned = fn(a.argc(), a.argv());
        g_udpport = nullptr;  // it pointed into `a`
        return returned;
    };

    EXPECT_EQ(TV_ERR_BAD_HOST, call(chassis_mode, {"chassis_mode", "-port", "0", "no-such-switch.invalid"}));
    EXPECT_EQ("Error: Bad hostname/IP address\n", out.take());
    EXPECT_EQ(0, call(chassis_mode, {"chassis_mode", "-port", "0", sw.c_str()}));
    EXPECT_EQ(0, call(smlset, {"smlset", "-port", "0", sw.c_str(), "set", "port", "3", "speed", "2"}));
    EXPECT_EQ(0, call(message, {"message", "-port", "0", sw.c_str(), temp("message.txt").c_str()}));
    out.take();
    // The port count could not be read, so 8 ports are assumed.
    EXPECT_EQ(0, call(port_steering, {"port_steering", "-port", "0", sw.c_str(), "9"}));
    EXPECT_EQ("bad port number: 9\nError: OK\n", out.take());
    EXPECT_EQ(TV_ERR_NOT_RECOGNIZED, call(wwn_zone, {"wwn_zone", "-port", "0", "-s", sw.c_str()}));
    EXPECT_EQ(0, call(wwn_zone, {"wwn_zone", "-port", "0", sw.c_str()}));  // nothing asked of it
    EXPECT_EQ("Error: Command not recognized by switch\nSUCCESS\n", out.take());
}

}  // namespace
