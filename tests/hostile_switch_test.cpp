// A hostile switch: the simulator answering every request with answers that are well formed
// but say what no switch would (every payload byte 0xFF or 0x41, every answer 20 or 2048 bytes
// long) or are cut short in transit. Every operation of the library, in lenient and in strict
// mode, every entry point and every command of the tool must end with a defined status under
// the sanitizers: nothing read or written out of bounds or leaked, nothing printed that the
// switch did not send.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>


#include "support/every_entry_point.h"
#include "support/every_operation.h"
#include "support/run_tool.h"
#include "support/saved_globals.h"
#include "support/sim_fixture.h"
#include "support/test_addresses.h"

namespace {

sim::server_options hostile(const char* rule) {
    sim::server_options o;
    o.record_limit = 1;
    std::string why;
    o.faults.push_back(*sim::parse_fault(rule, why));
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

// Every command word of the tool, with arguments that make it talk to the switch.
std::vector<std::vector<std::string>> every_command(const std::string& ip) {
    return {{"version", ip},           {"chassis_status", ip},
            {"chassis_mode", ip},      {"chassis_tovs", ip},
            {"initiators", ip},        {"links", ip},
            {"nameserver", ip},        {"port_state", ip, "all"},
            {"port_type", ip, "all"},  {"get_zone", ip, "hd", "all"},
            {"get_zone", ip, "sl", "all"}, {"set_zone", ip, "hd", "1", "2"},
            {"disable_zone_type", ip, "bcst"}, {"ns_zone_type", ip},
            {"wwn_zone", ip},          {"get_wwn_zone", ip},
            {"set_wwn_zone", ip, "3", "2100005e01010101", "x"},
            {"rem_wwn_zone", ip, "3", "2100005e01010101", "x"},
            {"smlget", ip, "show", "port", "3"}, {"smlset", ip, "set", "port", "3", "speed", "2"},
            {"get_trap_config", ip},   {"set_trap_config", ip, "11", "1", "10", "2"},
            {"set_trapping", "-t", "enabled", ip}, {"trap_test", ip, "11", "25"},
            {"trap_listen", "-t", "0.2", ip}};
}

// What a report may hold: text, and whatever bytes the switch sent (here all 'A').
bool printable(const std::string& out) {
    for (const unsigned char c : out)
        if ((c < 0x20 && c != '\n' && c != '\t') || c > 0x7E) return false;
    return true;
}

TEST(hostile_switch, every_command_of_the_tool_fails_cleanly_or_reports_what_was_sent) {
    for (const char* rule : {"fill=0x41", "fill=0xff", "size=2048"}) {
        tvtest::running_fabric fab{tvtest::addr::hostile_tool_base, hostile(rule)};
        for (auto command : every_command(tvtest::addr::hostile_tool_base)) {
            command.insert(command.begin() + 1, {"-port", "0"});
            const auto r = tvtest::run_tool(TELVAR_BIN, command, {}, 30);
            EXPECT_GE(r.status, 0) << command[0] << " under " << rule << ": killed or crashed\n" << r.err;
            EXPECT_LE(r.status, 3) << command[0] << " under " << rule;
            if (std::string(rule) == "fill=0x41") {
                EXPECT_TRUE(printable(r.out)) << command[0] << " printed bytes nobody sent:\n" << r.out;
            }
        }
    }
}

}  // namespace
