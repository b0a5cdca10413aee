// The telvar tool end to end: the real binary, run as a child process against a fabric of
// the simulator running in this process, whole outputs and exit statuses compared.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/command_output.h"
#include "support/run_tool.h"
#include "support/scripted_responder.h"
#include "support/test_addresses.h"
#include "support/tool_test.h"
#include "telvar/cli/command_table.h"
#include "telvar/telvar.h"

namespace {

using tvtest::args;

const std::string sw1 = tvtest::addr::telvar_base;  // 127.0.8.2; sw2 .3, sw3 .4
const std::string sw2 = "127.0.8.3";
const std::string nobody = "127.0.8.9";

const std::string sw1_version =
    "HW: \t301\nPROM: \t105\nFLASH: \t40119a\nWWN:\t100000005e010000\nMAC:\t02005e005301\n";

class telvar_tool : public tvtest::tool_test {
protected:
    telvar_tool() : tool_test(tvtest::addr::telvar_base, tvtest::local_port::as_given) {}
    sim::port_config port_cfg(std::size_t sw, std::size_t port) {
        return fab.on_switch(sw, [&](sim::switch_state& s) { return s.get<sim::port_state>().active[port]; });
    }
};

// Every command word of the usage text has a description, and every line of the text that is
// not blank, the heading or the global flags belongs to exactly one described command: its lines
// follow one another, and the commands come in the order of the text.
TEST(dispatch_table, the_descriptions_own_the_lines_of_the_usage_text_in_order) {
    std::vector<int> owners(TELVAR_USAGE_LINES, 0);
    int previous_last = 0;
    for (const auto& c : telvar::commands()) {
        const std::vector<int> lines = telvar::usage_lines(c.word);
        if (lines.empty()) {
            // A command the usage text does not list has a synopsis of its own for `telvar help`.
            EXPECT_NE(std::string_view::npos, c.help.find("telvar " + std::string(c.word) + " ")) << c.word;
            continue;
        }
        EXPECT_NE(nullptr, std::strstr(Usage[lines.front()], ("telvar " + std::string(c.word) + " ").c_str())) << c.word;
        EXPECT_GT(lines.front(), previous_last) << c.word << " is out of the text's order";
        EXPECT_EQ(lines.back() - lines.front() + 1, static_cast<int>(lines.size())) << c.word;
        previous_last = lines.back();
        for (const int i : lines) ++owners[static_cast<std::size_t>(i)];
    }
    bool global_flags = false;
    for (int i = 1; i < TELVAR_USAGE_LINES; ++i) {
        const std::string_view line = Usage[i];
        global_flags = global_flags || line.starts_with("\nglobal flags:");
        const int expected = global_flags || line == "Usage:\n" || line == "\n" ? 0 : 1;
        EXPECT_EQ(expected, owners[static_cast<std::size_t>(i)]) << i << ": " << line;
    }
}

TEST_F(telvar_tool, usage_text_and_help) {
    const std::string text = tvtest::usage_text();
    EXPECT_EQ(0u, text.find("telvar  version 1.0.8.REV.2001.06.21.16.33\nUsage:\n"));
    // help adds the login flags and the commands the usage text does not list.
    for (const args& a : {args{"help"}, args{"-h"}, args{"--help"}}) {
        const auto r = telvar(a);
        EXPECT_EQ(0, r.status) << a[0];
        EXPECT_EQ(0u, r.out.find(text + "\t-u <user>\t")) << a[0];
        EXPECT_NE(std::string::npos, r.out.find("\n    telvar user_add [global flags] <ip-address>"));
    }
    // No command word is a command-line error too: the usage text, on standard error only.
    auto r = telvar({});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(text, r.err);
    // Mistakes in the command word and its arguments: command_line_test.

    // Each command's lines of the usage text, then its notes.
    for (const auto& c : telvar::commands()) {
        std::string expected;
        for (const int i : telvar::usage_lines(c.word)) expected += Usage[i];
        r = telvar({"help", std::string(c.word)});
        EXPECT_EQ(expected + std::string(c.help), r.out) << c.word;
    }
    r = telvar({"help", "frobnicate"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("telvar: unknown command 'frobnicate'\n", r.err);
}

// Through the fabric (-f) and with the local port from the environment: command_line_test and
// data_cmds_test.
TEST_F(telvar_tool, version) {
    const auto r = telvar({"version", "-port", "0", sw1});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(sw1_version, r.out);
}

TEST_F(telvar_tool, chassis_status_with_system_information) {
    with([](sim::fabric& f) {
        f.switches[1].booted = std::chrono::steady_clock::now() - std::chrono::milliseconds(123500);
        f.switches[1].ports[2].gbic = 6;
        f.switches[1].ports[3].gbic = 9;
        f.switches[1].ports[4].gbic = 5;
    });
    const auto r = telvar({"chassis_status", "-port", "0", sw2});
    EXPECT_EQ(0, r.status);
    std::string gbics;
    const char* types[16] = {"Optical longwave\n", "Optical shortwave\n", "Unrecognized type (6)\n",
                             "Unrecognized type (9)\n", "Copper\n", "Optical longwave\n",
                             "Optical shortwave\n", "Optical shortwave\n", "Optical longwave\n",
                             "Optical shortwave\n", "Optical shortwave\n", "Optical longwave\n",
                             "None installed\n", "None installed\n", "None installed\n",
                             "Optical longwave\n"};
    for (int i = 0; i < 16; ++i) gbics += "GBIC " + std::to_string(i + 1) + ":\t" + types[i];
    EXPECT_EQ("Power:\tOK\nTemp:\tOK\nTemp =\t25.5c\nFan 1:\tnone installed\tFan 2:\tOK\n"
              "Ports:\t16\n" + gbics +
              "Uptime:\t123s\nDesc:\tSimulated 16-port Fibre Channel switch sw2\n",
              r.out);
}

TEST_F(telvar_tool, port_state_lists_and_changes_ports) {
    auto r = telvar({"port_state", "-port", "0", sw1, "14"});
    EXPECT_EQ("Port: 14\tAdmin:  off, Operational:  off\n", r.out);

    r = telvar({"port_state", "-port", "0", "-s", "off", sw1, "3"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("SUCCESS\nPort: 3\tAdmin:  off, Operational:  off\n", r.out);
    EXPECT_EQ(2, port_cfg(0, 2).admin);
    EXPECT_EQ(1, port_cfg(0, 3).admin);  // the others are sent back unchanged
    EXPECT_EQ(2, port_cfg(0, 13).admin);
}

TEST_F(telvar_tool, port_type_sets_loop_mode_and_type) {
    auto r = telvar({"port_type", "-port", "0", "-s", "fl", sw1, "6"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("SUCCESS\nPort: 6\tType: FL_Port\n", r.out);
    EXPECT_EQ(2, port_cfg(0, 5).type);
    EXPECT_EQ(0, port_cfg(0, 5).al_disabled);

    r = telvar({"port_type", "-port", "0", "-s", "f", sw1, "6"});
    EXPECT_EQ("SUCCESS\nPort: 6\tType: F_Port \n", r.out);
    EXPECT_EQ(1, port_cfg(0, 5).al_disabled);
}

// A switch whose answers are spoiled (a header without the version record): the tool, in its
// default strict mode, reports a failure (exit status 2) and never a version report made of it;
// --lenient shows what the lax reading would have printed. (Each way of spoiling an answer:
// exchange_test.)
TEST(telvar_hostile, spoiled_answers_are_failures_never_reports) {
    tvtest::scripted_responder sw(tvtest::addr::hostile_switch);
    sw.set_fallback(tvtest::answer());
    auto r = tvtest::run_tool(TELVAR_BIN, {"version", "-port", "0", tvtest::addr::hostile_switch});
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("Error: No response received\n", r.out);
    r = tvtest::run_tool(TELVAR_BIN, {"--lenient", "version", "-port", "0", tvtest::addr::hostile_switch});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(0u, r.out.find("HW: \t0\n"));  // zeros, taken for a version
}

// The ranges and their order with probes in flight or not: tool_defaults_test; the other ranges
// that are mistakes: command_line_test.
TEST_F(telvar_tool, discover_refuses_what_is_no_range_and_goes_past_a_24_at_once) {
    auto r = telvar({"discover", "-m", "255.255.255.255", "127.0.8.2"});
    EXPECT_EQ("Invalid mask 255.255.255.255 for 127.0.8.2\nError: Invalid Parameter\n", r.out);
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(1, telvar({"discover", "127.0.8.1"}).status);
    // Past a /24 on loopback (no neighbour entries to spare), the whole range goes at once.
    r = telvar({"-v", "discover", tvtest::addr::discover_window_base, "300"});
    EXPECT_EQ("No switch answered\n", r.out);
    EXPECT_NE(std::string::npos, r.err.find("300 at a time")) << r.err;
    // Ranges too large are refused before anything is sent, with a reason.
    fab.server().clear_records();
    for (const args& a : {args{"discover", "127.0.8.1", "99999999999"}, args{"discover", "-m", "255.254.0.0", "127.0.8.1"}}) {
        r = telvar(a);
        EXPECT_EQ(1, r.status) << a[2];
        EXPECT_EQ(0u, r.err.find("telvar: discover: ")) << r.err;
    }
    EXPECT_TRUE(fab.requests().empty());
}

TEST_F(telvar_tool, the_fabric_from_its_links_name_server_and_initiators) {
    const std::string sw1_table = "\nChassis: 01      Remote: Chassis      Port    FCAddr     WWN\n"
                                  "   Port:    10           02           01      108000     100000005e020000\n";
    const std::string sw2_table = "\nChassis: 02      Remote: Chassis      Port    FCAddr     WWN\n"
                                  "   Port:    01           01           10      104f00     100000005e010000\n"
                                  "   Port:    10           03           01      10c000     100000005e030000\n";
    const std::string sw3_table = "\nChassis: 03      Remote: Chassis      Port    FCAddr     WWN\n"
                                  "   Port:    01           02           10      108f00     100000005e020000\n";
    auto r = telvar({"links", "-port", "0", sw1});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(sw1_table + sw2_table + sw3_table, r.out);
    r = telvar({"links", "-port", "0", "-f", "10c000", sw1});
    EXPECT_EQ(sw3_table + sw2_table + sw1_table, r.out);

    r = telvar({"nameserver", "-port", "0", sw1});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(
        "Port  Address  Type  Port and Node WWN                   FC-4 Types\n"
        "----  -------  ----  ----------------------------------  ----------------------\n"
        "00    104000   N     210000005e010101  200000005e010101  SCSI_FCP\n"
        "01    104100   N     210000005e010201  200000005e010201  SCSI_FCP\n"
        "02    104201   NL    210000005e010301  200000005e010301  SCSI_FCP\n"
        "02    104202   NL    210000005e010302  200000005e010302  SCSI_FCP\n"
        "02    104204   NL    210000005e010303  200000005e010303  SCSI_FCP\n"
        "03    104301   NL    210000005e010401  200000005e010401  SCSI_FCP\n"
        "03    1043EF   NL    210000005e010402  200000005e010402  SCSI_FCP\n"
        "04    1044E8   NL    210000005e010501  200000005e010501  SCSI_FCP\n"
        "01    108100   N     210000005e020201  200000005e020201  SCSI_FCP\n"
        "02    108201   NL    210000005e020301  200000005e020301  SCSI_FCP\n"
        "02    108202   NL    210000005e020302  200000005e020302  SCSI_FCP\n"
        "01    10C100   N     210000005e030201  200000005e030201  \n"
        "02    10C201   NL    210000005e030301  200000005e030301  SCSI_FCP\n"
        "02    10C202   NL    210000005e030302  200000005e030302  SCSI_FCP\n",
        r.out);

    r = telvar({"initiators", "-port", "0", sw2});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("WWN:\t100000005e020000   210000005e020201   200000005e020201   2  0x00  \n", r.out);
    EXPECT_EQ("No initiators found\n", telvar({"initiators", "-port", "0", "127.0.8.4"}).out);
    EXPECT_EQ("Error: No response received\n", telvar({"links", "-port", "0", nobody}).out);
}

}  // namespace
