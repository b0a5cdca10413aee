// The zoning commands of the telvar tool end to end, against a fabric of the simulator running
// in this process: zones written and read back for every type, what save and a switch reset
// keep, the WWN table, and the refusals with their messages and statuses.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "support/test_addresses.h"
#include "support/tool_test.h"
#include "switchsim/families/zoning_family.h"

namespace {

using tvtest::args;
using subs = std::vector<std::uint32_t>;

const std::string sw1 = tvtest::addr::zoning_cli_base;

class zoning_tool : public tvtest::tool_test {
protected:
    zoning_tool() : tool_test(tvtest::addr::zoning_cli_base) {}
    sim::zoning_state zoning() {
        return fab.on_switch(0, [](sim::switch_state& s) { return s.get<sim::zoning_state>(); });
    }
};

TEST_F(zoning_tool, a_zone_written_reads_back_for_every_type) {
    struct written {
        args set;
        std::string shown;
    };
    const std::vector<written> zones{
        {{"hd", "5", "1", "3-4"}, "Zone: 5\tenabled\tPorts: 1 3 4\n"},
        {{"ns", "40", "16", "2", "2"}, "Zone: 40\tenabled\tPorts: 2 16\n"},
        {{"bcst", "15", "16"}, "Zone: 15\tenabled\tPorts: 16\n"},
        {{"sl", "7", "4"}, "Zone: 7\tenabled\tPorts: 4\n"},
    };
    for (const auto& z : zones) {
        args set{"set_zone", "-e", sw1};
        set.insert(set.end(), z.set.begin(), z.set.end());
        EXPECT_EQ("SUCCESS\n", ok(set)) << z.set[0];
        EXPECT_EQ(z.shown, ok({"get_zone", sw1, z.set[0], z.set[1]})) << z.set[0];
    }
    // Written without -e, a zone is disabled; "none" empties it.
    EXPECT_EQ("SUCCESS\n", ok({"set_zone", sw1, "hd", "5", "none"}));
    EXPECT_EQ("Zone: 5\tdisabled\tPorts: none\n", ok({"get_zone", sw1, "hd", "5"}));
    // The whole SL set: the SL port's zone, and every other port under 65535.
    EXPECT_EQ("Zone: 65535\tenabled\tPorts: 1 2 3 5 6 7 8 9 10 11 12 13 14 15 16\n"
              "Zone: 7\tenabled\tPorts: 4\n",
              ok({"get_zone", sw1, "sl", "all"}));
}

TEST_F(zoning_tool, a_disabled_and_saved_zone_type_survives_a_reset) {
    // An unsaved change is gone after the reset, the saved disable is not.
    EXPECT_EQ("SUCCESS\n", ok({"disable_zone_type", "-s", sw1, "ns"}));
    EXPECT_EQ("SUCCESS\n", ok({"set_zone", "-e", sw1, "ns", "17", "5"}));
    EXPECT_EQ("Zone: 17\tdisabled\tPorts: 2 3 4\n", ok({"get_zone", "-s", sw1, "ns", "17"}));
    EXPECT_EQ("SUCCESS\n", ok({"switch_reset", sw1}));
    for (int i = 0; i < 100 && zoning().active.name_server[17].members != 0b1110; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ("Zone: 1\tdisabled\tPorts: 1 2\n", ok({"get_zone", sw1, "ns", "1"}));
    EXPECT_EQ("Zone: 17\tdisabled\tPorts: 2 3 4\n", ok({"get_zone", sw1, "ns", "17"}));
    EXPECT_EQ("Zone: 1\tenabled\tPorts: 1 2 3\n", ok({"get_zone", sw1, "hd", "1"}));  // not touched
}

TEST_F(zoning_tool, wwn_zones_keep_what_they_are_not_told_to_change) {
    const std::string a = "210000005e010101", b = "210000005e010201";
    EXPECT_EQ("SUCCESS\n", ok({"set_wwn_zone", "-i", sw1, "7", a, "host-a"}));
    EXPECT_EQ("SUCCESS\n", ok({"set_wwn_zone", sw1, "9", b, "host-b"}));
    EXPECT_EQ("SUCCESS\n", ok({"rem_wwn_zone", sw1, "40", a, "host-a"}));
    EXPECT_EQ("total: 2\nWWN: " + a + "\n     Member of zone(s): 1 7 \nWWN: " + b +
                  "\n     Member of zone(s): 9 \nSUCCESS\n",
              ok({"get_wwn_zone", sw1}));

    // Save, then reset active and saved: the table is empty, and stays so after a mode-0 reset.
    fab.server().clear_records();
    EXPECT_EQ("SUCCESS\n", ok({"wwn_zone", "-s", "-r", "2", sw1}));
    EXPECT_EQ((subs{65, 66}), fab.subcommands());  // no port count: wwn_zone takes no port
    EXPECT_EQ("SUCCESS\n", ok({"wwn_zone", "-r", "0", sw1}));
    EXPECT_EQ("total: 0\nSUCCESS\n", ok({"get_wwn_zone", sw1}));

    EXPECT_EQ("current ns_zone_type: 0\n", ok({"ns_zone_type", sw1}));
    EXPECT_EQ("new ns_zone_type: 1\n", ok({"ns_zone_type", "-s", "wwn", sw1}));
    EXPECT_EQ("current ns_zone_type: 1\n", ok({"ns_zone_type", sw1}));
}

// Ids, types, port texts and ports beyond the switch's are the dispatcher's refusals, with
// their texts, in command_line_test; a silent switch, exit_status_test. Here the switch's own refusal.
TEST_F(zoning_tool, refusals_print_why_and_send_nothing) {
    fab.server().clear_records();
    const auto missing = telvar({"rem_wwn_zone", sw1, "3", "210000005e0101ff", "x"});
    EXPECT_EQ("Error: WWN not found in any Zone\n", missing.out);
    EXPECT_EQ(2, missing.status);
    EXPECT_EQ((subs{60}), fab.subcommands());  // the one page of the removal's lookup
}

}  // namespace
