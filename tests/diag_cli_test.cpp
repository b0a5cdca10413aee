// Port status and diagnostics end to end: the telvar tool as a child process against a fabric
// of the simulator running in this process on a clock the test moves, whole outputs compared
// with what the fabric holds; and the map of loop addresses against the rule that defines them.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <string>
#include <vector>

#include "support/command_output.h"
#include "support/sim_fixture.h"
#include "support/test_addresses.h"
#include "support/tool_test.h"
#include "switchsim/families/diag_family.h"

namespace {

// A loop address is a byte whose 8b/10b character has as many ones as zeros: both of its
// sub-blocks are balanced, or neither is (the second then takes the code that evens out the
// first). These are the 5b/6b and 3b/4b codes for a negative running disparity.
constexpr std::array<unsigned, 32> six_bit{
    0b100111, 0b011101, 0b101101, 0b110001, 0b110101, 0b101001, 0b011001, 0b111000,
    0b111001, 0b100101, 0b010101, 0b110100, 0b001101, 0b101100, 0b011100, 0b010111,
    0b011011, 0b100011, 0b010011, 0b110010, 0b001011, 0b101010, 0b011010, 0b111010,
    0b110011, 0b100110, 0b010110, 0b110110, 0b001110, 0b101110, 0b011110, 0b101011};
constexpr std::array<unsigned, 8> four_bit{0b1011, 0b1001, 0b0101, 0b1100, 0b1101, 0b1010, 0b0110, 0b1110};

// 0x00 belongs to the switch's own loop port and 0xF0 and above are no loop addresses.
bool valid_alpa(unsigned v) {
    if (v == 0 || v >= 0xF0) return false;
    return (std::popcount(six_bit[v & 31]) == 3) == (std::popcount(four_bit[v >> 5]) == 2);
}

// The available-ALPA lines for every valid ALPA but the used ones, eight to a line.
std::string alpa_lines(const std::vector<unsigned>& used = {}) {
    std::string out;
    int n = 0;
    for (unsigned v = 0; v < 256; ++v) {
        if (!valid_alpa(v) || std::ranges::count(used, v) != 0) continue;
        char item[8];
        std::snprintf(item, sizeof item, " 0x%02x", v);
        out += item;
        if (++n % 8 == 0) out += "\n";
    }
    return n % 8 != 0 ? out + "\n" : out;
}

TEST(alpa_map, holds_the_position_map_bit_of_each_valid_alpa) {
    int k = 0;
    for (unsigned v = 0; v < 256; ++v) {
        if (!valid_alpa(v)) {
            EXPECT_EQ(0xFF, alpa_to_bitmap[v]) << v;
            continue;
        }
        // Position k + 2 of the map (after the L bit and ALPA 0x00), most significant bit first.
        const int p = k++ + 2;
        EXPECT_EQ(32 * (p / 32) + 31 - p % 32, alpa_to_bitmap[v]) << v;
    }
    EXPECT_EQ(126, k);

    // The zones of a port list, in order of first appearance.
    tv_sl_port_zones list{5, {3, 3, 5, 3, 7}};
    std::array<uint16_t, 5> zones{9, 9, 9, 9, 9};
    EXPECT_EQ(3, get_zone_list(zones.data(), &list));
    EXPECT_EQ((std::array<uint16_t, 5>{3, 5, 7, 0, 0}), zones);
    EXPECT_EQ(-1, get_zone_list(nullptr, &list));
    EXPECT_EQ(22, tv_api_errno);
}

class diag_tool : public tvtest::tool_test {
protected:
    explicit diag_tool(sim::fabric f) : tool_test(std::move(f)) {
        with([](sim::fabric& fb) { fb.get<sim::diag_fabric_state>().manual = true; });
    }
    diag_tool() : diag_tool(sim::default_fabric(inet_addr(tvtest::addr::diag_cli_base))) {}

    void advance(std::uint64_t ms) {
        with([&](sim::fabric& f) { sim::advance_clock(f, ms); });
    }
    // The counter report of a port as the display prints the switch's counts of it now.
    std::string counters_of(std::size_t sw, std::size_t port) {
        const auto words = with([&](sim::fabric& f) { return sim::port_counters(f, sw, port); });
        tv_port_counters rec{};
        std::copy(words.begin(), words.end(), rec.counter);
        tvtest::captured_output out;
        show_port_counters(static_cast<int32_t>(port), &rec);
        return out.take();
    }

    const std::string sw1 = tvtest::addr::diag_cli_base;
};

TEST_F(diag_tool, port_status_lists_every_port_then_the_free_alpas_of_each_sl_zone) {
    const std::string not_logged_in = "  F_Port   Not-logged-in\n";
    std::string expected =
        "Port:   1  F_Port   Logged-in\n    0x104000    210000005e010101  200000005e010101\n"
        "Port:   2  F_Port   Logged-in\n    0x104100    210000005e010201  200000005e010201\n"
        "Port:   3  FL_Port  Devices:  3   Address: 0x00\n"
        "        0x01    210000005e010301  200000005e010301\n"
        "        0x02    210000005e010302  200000005e010302\n"
        "        0x04    210000005e010303  200000005e010303\n"
        // Only initiators are known on an SL port.
        "Port:   4  SL_Port  Devices:  2   Address: 0x00\n"
        "        0x01    <missing>         <missing>       \n"
        "        0xef    210000005e010402  200000005e010402\n"
        "Port:   5  TL_Port  Devices:  1   Address: 0x00\n"
        "        0xe8    210000005e010501  200000005e010501\n";
    for (int p = 6; p <= 15; ++p)
        expected += (p < 10 ? "Port:   " : "Port:  ") + std::to_string(p) +
                    (p == 14 ? "  F_Port   Admin Offline\n" : not_logged_in);
    expected += "Port:  16  T_Port   Linked-to: 100000005e020000  IP: 127.0.101.3  FC: 108000\n"
                "Available Zoned ALPAs:\n"
                "Zone: 0, Ports: 1 2 3 5 6 7 8 9 10 11 12 13 14 15 16 \n" + alpa_lines() +
                "Zone: 1, Ports: 4 \n" + alpa_lines({0x01, 0xef});
    EXPECT_EQ(expected, ok({"port_status", "-a", sw1, "all"}));

    // Through the fabric: sw2's first port leads back to sw1's sixteenth.
    EXPECT_EQ("Port:   1  T_Port   Linked-to: 100000005e010000  IP: 127.0.101.2  FC: 104f00\n",
              ok({"port_status", "-f", "108000", sw1, "1"}));
}

// A switch without SL zones keeps one map: SL devices take their ALPAs out of it, loop devices
// of other ports do not.
class diag_tool_without_sl_zones : public diag_tool {
protected:
    diag_tool_without_sl_zones()
        : diag_tool(tvtest::fabric_at(R"({"switches": [{"ip": "127.0.102.2", "flash_rev": "0x40200", "port_count": 2,
            "ports": [{"type": "FL", "devices": [{"alpa": "0x01", "port_wwn": "2100000000000001", "node_wwn": "2000000000000001"}]},
                      {"type": "SL", "devices": [{"alpa": "0x02", "port_wwn": "2100000000000002", "node_wwn": "2000000000000002"}]}]}]})",
                                      tvtest::addr::diag_own_base)) {}
};

TEST_F(diag_tool_without_sl_zones, lists_one_map) {
    const std::string out = ok({"port_status", "-a", tvtest::addr::diag_own_base, "all"});
    const std::string list = alpa_lines({0x02});
    EXPECT_TRUE(out.ends_with("Available ALPAs:\n" + list)) << out;
    EXPECT_EQ(16, std::ranges::count(list, '\n'));  // 125 addresses: fifteen lines of eight, one of five
}

TEST_F(diag_tool, counters_grow_with_the_traffic_and_stop_with_the_port) {
    advance(1500);
    const auto before = with([](sim::fabric& f) { return sim::port_counters(f, 0, 0); });
    advance(60000);
    EXPECT_EQ(counters_of(0, 0), ok({"port_counts", sw1, "1"}));
    const auto after = with([](sim::fabric& f) { return sim::port_counters(f, 0, 0); });
    EXPECT_GT(after[TV_CNT_IN_FRAMES], before[TV_CNT_IN_FRAMES]);
    EXPECT_GT(after[TV_CNT_OUT_FRAMES], before[TV_CNT_OUT_FRAMES]);
    EXPECT_EQ(0u, after[TV_CNT_CRC_ERRS]);
    // A loop counts its initialisations.
    EXPECT_EQ(2u, with([](sim::fabric& f) { return sim::port_counters(f, 0, 2)[TV_CNT_AL_INITS]; }));

    // Off, the port carries nothing more; "all" reports every port in turn.
    ok({"port_state", "-s", "off", sw1, "1"});
    const std::string off = counters_of(0, 0);
    advance(60000);
    std::string all;
    for (std::size_t p = 0; p < 16; ++p) all += counters_of(0, p);
    EXPECT_EQ(all, ok({"port_counts", sw1, "all"}));
    EXPECT_EQ(off, counters_of(0, 0));

    // The same seed and the same time give the same counts; another seed other rates.
    const auto counted = [](std::uint32_t seed) {
        sim::fabric f = sim::default_fabric(inet_addr("127.0.102.9"));
        f.get<sim::diag_fabric_state>().seed = seed;
        sim::advance_clock(f, 10000);
        return sim::port_counters(f, 0, 0);
    };
    EXPECT_EQ(counted(7), counted(7));
    EXPECT_NE(counted(7)[TV_CNT_IN_FRAMES], counted(8)[TV_CNT_IN_FRAMES]);
}

TEST_F(diag_tool, a_test_runs_its_passes_over_time_and_fails_on_a_faulty_port) {
    const auto status = [](const std::string& fails, const std::string& states, const std::string& counts,
                           const std::string& failed) {
        return "--------------\ntest_fail_cnt:  \t" + fails + "\nport_test_status:\t" + states +
               "\nport_test_count:\t" + counts + "\nport_fail_count:\t" + failed + "\n";
    };
    EXPECT_EQ("SUCCESS\n", ok({"start_test", "-n", "4", sw1, "3"}));
    EXPECT_EQ(status("0", "1 ", "0 ", "0 "), ok({"test_status", sw1, "3"}));
    const auto busy = telvar({"start_test", sw1, "5"});
    EXPECT_EQ(2, busy.status);
    EXPECT_EQ("Error: Unrecognized error (107)\n", busy.out);
    advance(3 * sim::pass_ms_of(2000));
    EXPECT_EQ(status("0", "1 ", "3 ", "0 "), ok({"test_status", sw1, "3"}));
    advance(sim::pass_ms_of(2000));
    EXPECT_EQ(status("0", "2 ", "4 ", "0 "), ok({"test_status", sw1, "3"}));

    // Port 2 is faulty: each pass fails, and so does the test.
    EXPECT_EQ("SUCCESS\n", ok({"start_test", "-n", "2", "-x", "4000", sw1, "2"}));
    advance(2 * sim::pass_ms_of(4000));
    EXPECT_EQ(status("1", "3 ", "2 ", "2 "), ok({"test_status", sw1, "2"}));

    // Every port, until stopped: the log adds up; -r starts from a clear log.
    EXPECT_EQ("SUCCESS\n", ok({"start_test", "-r", "-n", "0", "-w", "0", "-t", "0x55aa55aa", sw1, "all"})
                               .substr(0, 8));
    advance(5 * sim::pass_ms_of(2000));
    EXPECT_EQ("SUCCESS\n", ok({"stop_test", sw1, "all"}));
    EXPECT_EQ(status("1", "4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 4 ", "5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 5 ",
                     "0 5 0 0 0 0 0 0 0 0 0 0 0 5 0 0 "),
              ok({"test_status", sw1, "all"}));
    EXPECT_EQ("SUCCESS\n", ok({"reset_log", sw1}));
    EXPECT_EQ(status("0", "0 ", "0 ", "0 "), ok({"test_status", sw1, "16"}));
}

TEST_F(diag_tool, routing_tables_and_mfs_modes_of_ports) {
    EXPECT_EQ("Port Routing Table for Chassis 01, FC Addr 104000\n"
              "Source-Port    Route-Port   Dest-Chassis    Dest-FC_Addr\n"
              "--------------------------------------------------------\n"
              "03\t\t16\t\t02\t\t108000\n03\t\t16\t\t03\t\t10c000\n",
              ok({"port_steering", sw1, "3"}));
    // Every port under one heading; sw3 routes everything through its first port.
    const std::string all = ok({"port_steering", "-f", "10c000", sw1, "all"});
    EXPECT_EQ(0u, all.find("Port Routing Table for Chassis 03, FC Addr 10c000\n"));
    EXPECT_EQ(3 + 32, std::ranges::count(all, '\n'));
    EXPECT_TRUE(all.ends_with("\n16\t\t01\t\t01\t\t104000\n16\t\t01\t\t02\t\t108000\n")) << all;

    EXPECT_EQ("Port:   3 Mode: 5 Max of 32 Frames Transmitted per Loop Tenancy\n",
              ok({"port_mfs_mode", "-M", "5", "-s", sw1, "3"}));
    EXPECT_EQ(5, with([](sim::fabric& f) { return f.switches[0].get<sim::port_state>().saved[2].mfs_mode; }));
    const std::string modes = ok({"port_mfs_mode", "-M", "6", sw1, "all"});
    EXPECT_EQ(16, std::ranges::count(modes, '\n'));
    EXPECT_TRUE(modes.ends_with("Port:  16 Mode: 6 Max of 128 Frames Transmitted per Loop Tenancy\n"));
    const auto refused = telvar({"port_mfs_mode", "-M", "9", sw1, "1"});
    EXPECT_EQ(2, refused.status);
    EXPECT_EQ("Set Port MFS Mode: Error: Switch responded to command with an error\n", refused.out);
}

}  // namespace
