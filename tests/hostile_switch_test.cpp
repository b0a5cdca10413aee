// A hostile switch: the simulator answering every request with answers that are well formed
// but say what no switch would (every payload byte 0xFF or 0x41, every answer 20 or 2048 bytes
// long) or are cut short in transit. Every operation of the library, in lenient and in strict
// mode, every entry point and every command of the tool must end with a defined status under
// the sanitizers: nothing read or written out of bounds or leaked, nothing printed that the
// switch did not send.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "support/command_samples.h"
#include "support/every_entry_point.h"
#include "support/every_operation.h"
#include "support/run_tool.h"
#include "support/saved_globals.h"
#include "support/sim_fixture.h"
#include "support/test_addresses.h"
#include "telvar/cli/command_table.h"

namespace {

sim::server_options hostile(const char* rule) {
    sim::server_options o = tvtest::with_faults({rule});
    o.record_limit = 1;
    return o;
}

constexpr std::array<const char*, 7> rules{"fill=0xff", "fill=0x00", "fill=0x01", "size=20",
                                           "size=2048", "truncate=12", "truncate=40"};

TEST(hostile_switch, every_operation_ends_with_a_defined_status) {
    const tvtest::saved_globals saved;
    tv_api_open(nullptr);
    Discover = 0;
    g_ip_timeout = 5;  // most spoiled answers cost a whole budget: keep it short
    g_timeout = 30;
    for (const char* rule : rules) {
        tvtest::running_fabric fab{tvtest::addr::hostile_base, hostile(rule)};
        fab.without_reset_time();  // the list is run twice on each fabric
        for (const int strict : {0, 1}) {
            g_strict_answers = strict;
            for (const auto& op : tvtest::every_operation()) {
                tv_context* ctx = tv_open(tvtest::addr::hostile_base);
                ASSERT_NE(nullptr, ctx);
                const int32_t status = op.run(ctx);
                EXPECT_TRUE(tvtest::defined_statuses().contains(status))
                    << op.name << " under " << rule << (strict ? " (strict)" : "") << ": " << status;
                tv_close(ctx);
            }
        }
    }
}

TEST(hostile_switch, every_entry_point_ends_with_a_defined_status) {
    const tvtest::saved_globals saved;
    setenv("TELVARPORT", "0", 1);
    tv_api_open(nullptr);
    g_ip_timeout = 5;
    g_timeout = 30;
    // A 0x01 fill gives a port count that the entry points accept, and lists they must bound.
    for (const char* rule : {"fill=0x01", "fill=0xff", "fill=0x00", "size=2048", "truncate=40"}) {
        tvtest::running_fabric fab{tvtest::addr::hostile_base, hostile(rule)};
        for (const auto& e : tvtest::every_entry_point()) {
            const int32_t result = e.run(tvtest::addr::hostile_base);
            EXPECT_TRUE(tvtest::entry_point_results().contains(result)) << e.name << " under " << rule << ": " << result;
        }
    }
}

// What a report may hold: text, and whatever bytes the switch sent (here all 'A').
bool printable(const std::string& out) {
    for (const unsigned char c : out)
        if ((c < 0x20 && c != '\n' && c != '\t') || c > 0x7E) return false;
    return true;
}

// Every command word of the tool's table runs its sample line against the hostile switch, a
// few children at a time.
TEST(hostile_switch, every_command_of_the_tool_fails_cleanly_or_reports_what_was_sent) {
    const std::string dir = ::testing::TempDir();
    tvtest::write_sample_files(dir);
    const std::string ip = tvtest::addr::hostile_tool_base;
    for (const char* rule : {"fill=0x41", "fill=0xff", "size=2048"}) {
        tvtest::running_fabric fab{ip, hostile(rule)};
        std::vector<std::vector<std::string>> lines;
        for (const telvar::command& c : telvar::commands()) lines.push_back(tvtest::sample_line(c.word, c.sample, ip, dir));
        const auto results = tvtest::run_side_by_side(TELVAR_BIN, lines, 30);
        for (std::size_t i = 0; i < results.size(); ++i) {
            const std::string& word = lines[i][0];
            const auto& r = results[i];
            EXPECT_GE(r.status, 0) << word << " under " << rule << ": killed or crashed\n" << r.err;
            EXPECT_LE(r.status, 3) << word << " under " << rule;
            if (std::string(rule) == "fill=0x41") {
                EXPECT_TRUE(printable(r.out)) << word << " printed bytes nobody sent:\n" << r.out;
            }
        }
    }
}

}  // namespace
