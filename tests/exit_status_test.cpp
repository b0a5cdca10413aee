// Every command word of the tool's table, run as a child process against (a) an address where
// nothing answers and (b) a fabric whose switches answer every request with status 0x01: none
// may end as if it had done its work. Only discover (finding nothing is a result) and
// switch_reset (SUCCESS means the reset was sent; no answer is awaited) exit 0, and so does
// help. Each line is a valid command line, so anything but a failure of the switch or the
// network (2) or of the connection (3) points at the command, not at the sample.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "support/command_output.h"
#include "support/command_samples.h"
#include "support/run_tool.h"
#include "support/sim_fixture.h"
#include "support/test_addresses.h"
#include "telvar/cli/command_table.h"

namespace {

using args = std::vector<std::string>;

const std::set<std::string_view> done_whatever_the_switch_says{"discover", "switch_reset"};
// diff compares two files and reads no switch: its sample's snapshots are the same.
const std::set<std::string_view> reads_no_switch{"diff"};

struct run {
    std::string word;
    tvtest::tool_result result;
};

// Runs every command of the table against `address`, a few child processes at a time (a
// silent address costs each command its retry budget).
std::vector<run> run_every_command(const std::string& address) {
    const std::string dir = ::testing::TempDir();
    tvtest::write_sample_files(dir);
    std::vector<args> lines;
    for (const telvar::command& c : telvar::commands()) lines.push_back(tvtest::sample_line(c.word, c.sample, address, dir));
    const auto results = tvtest::run_side_by_side(TELVAR_BIN, lines);
    std::vector<run> runs;
    for (std::size_t i = 0; i < results.size(); ++i) runs.push_back({lines[i][0], results[i]});
    return runs;
}

void expect_no_success(const std::vector<run>& runs, const char* where) {
    for (const run& r : runs) {
        SCOPED_TRACE(std::string(where) + ": " + r.word + "\n" + r.result.out + r.result.err);
        if (done_whatever_the_switch_says.contains(r.word) || reads_no_switch.contains(r.word))
            EXPECT_EQ(0, r.result.status);
        else
            EXPECT_TRUE(r.result.status == 2 || r.result.status == 3) << "exit status " << r.result.status;
    }
}

TEST(exit_status, nothing_answering_is_never_success) {
    expect_no_success(run_every_command(tvtest::addr::exit_status_silent), "nothing answers");
}

TEST(exit_status, a_switch_refusing_every_request_is_never_success) {
    tvtest::running_fabric fab{tvtest::addr::exit_status_base, tvtest::with_faults({"status=0x01"})};
    expect_no_success(run_every_command(tvtest::addr::exit_status_base), "status 0x01");
    EXPECT_GT(fab.requests().size(), telvar::commands().size());  // the switch was asked, and refused
}

// The exported command functions over the same cores keep the values their callers know: the
// status of a failed open, wwn_zone also that of a failed save, 0 for every other failure.
TEST(exit_status, the_library_command_functions_return_what_they_always_did) {
    tvtest::running_fabric fab{tvtest::addr::exit_status_base, tvtest::with_faults({"status=0x01"})};
    const std::string sw = tvtest::addr::exit_status_base;
    const std::string dir = ::testing::TempDir();
    tvtest::write_sample_files(dir);
    const std::string message_file = dir + "/request.txt";
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
    EXPECT_EQ(0, call(message, {"message", "-port", "0", sw.c_str(), message_file.c_str()}));
    out.take();
    // The port count could not be read, so 8 ports are assumed.
    EXPECT_EQ(0, call(port_steering, {"port_steering", "-port", "0", sw.c_str(), "9"}));
    EXPECT_EQ("bad port number: 9\nError: OK\n", out.take());
    EXPECT_EQ(TV_ERR_NOT_RECOGNIZED, call(wwn_zone, {"wwn_zone", "-port", "0", "-s", sw.c_str()}));
    EXPECT_EQ(0, call(wwn_zone, {"wwn_zone", "-port", "0", sw.c_str()}));  // nothing asked of it
    EXPECT_EQ("Error: Command not recognized by switch\nSUCCESS\n", out.take());
}

}  // namespace
