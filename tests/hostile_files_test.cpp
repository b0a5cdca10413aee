// Hostile input files, given to the tool, the simulator and the exporter run as children: each is refused with
// a clear reason on standard error and a defined exit status (never a crash, 134 or 139, nor a
// hang), after reading no more than its documented limit (the child's peak memory stays far
// below what reading the file would take). Then the tool's rules for defaults files line by
// line, held against the library's reader: a line the tool accepts, the library applies as
// written. (Bad JSON documents to zone_apply and diff are data_cmds_test's; a defaults file
// applied, or missing, config_integration_test's.)
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/run_tool.h"
#include "support/temp_folder.h"
#include "support/test_addresses.h"
#include "support/tool_test.h"
#include "telvar/cli/defaults_check.h"
#include "telvar/cli/input_files.h"
#include "tv_api/operations/defaults_file.h"

namespace {

namespace fs = std::filesystem;
using args = std::vector<std::string>;

const std::string sw1 = tvtest::addr::hostile_files_base;

// A run takes some tens of MiB under the sanitizers; reading one of the 100 MB files, or
// /dev/zero for a while, takes more than this.
constexpr long max_peak_rss_kb = 96 * 1024;

class hostile_files : public tvtest::tool_test, public tvtest::temp_folder {
protected:
    hostile_files() : tool_test(sw1) {}
};

enum class program { tool, simulator, exporter };

// Each refused with status 1; the tool sends the switch nothing.
struct hostile {
    std::string what;
    program runs;  // the tool with `line`; the simulator or the exporter given `line[0]` as its file
    args line;
    std::string reason;  // what standard error says
};

TEST_F(hostile_files, are_refused_clearly_within_their_limits) {
    const std::string nested = file("deep.json", std::string(200000, '[') + std::string(200000, ']'));
    // What a line says is the defaults_rules tests'; here how the tool refuses the file for it.
    const std::string banana = file("banana.txt", "part_number edge\nMFS_TOV banana\n");
    const std::string comment = file("comment.txt", "# " + std::string(90, 'x') + " ED_TOV 1\nRA_TOV 10000\n");
    const std::string fifo = path("fifo");
    ASSERT_EQ(0, ::mkfifo(fifo.c_str(), 0600));
    // Sparse: nothing is written but the size, which is refused before a byte is read.
    const std::string big = file("big", "{");
    fs::resize_file(big, 100u << 20);

    const std::vector<hostile> table = {
        {"message of /dev/zero", program::tool, {"message", sw1, "/dev/zero"}, "/dev/zero: not a regular file"},
        {"message of a FIFO", program::tool, {"message", sw1, fifo}, fifo + ": not a regular file"},
        {"message of 100 MB", program::tool, {"message", sw1, big}, big + ": larger than 65536 bytes"},
        {"defaults of 100 MB", program::tool, {"defaults", sw1, big}, big + ": larger than 65536 bytes"},
        {"a number that is none", program::tool, {"defaults", sw1, banana},
         banana + ": line 2: MFS_TOV: 'banana' is not a decimal number from 0 to 65535"},
        {"a comment longer than a line", program::tool, {"defaults", sw1, comment},
         comment + ": line 1: longer than 78 characters"},
        {"a fabric from a FIFO", program::simulator, {fifo}, fifo + ": not a regular file"},
        {"a fabric of 100 MB", program::simulator, {big}, big + ": larger than 33554432 bytes"},
        {"a fabric 200,000 levels deep", program::simulator, {nested}, "nested deeper than 32 levels"},
        {"a password file of 100 MB", program::exporter, {big}, big + ": larger than 4096 bytes"},
    };
    for (const hostile& h : table) {
        SCOPED_TRACE(h.what);
        fab.server().clear_records();
        const tvtest::tool_result r =
            h.runs == program::tool        ? telvar(h.line)
            : h.runs == program::simulator ? tvtest::run_tool(SWITCHSIM_BIN, {"--base", tvtest::addr::hostile_fabric_base, "--fabric", h.line[0]}, {}, 20)
                                           : tvtest::run_tool(EXPORTER_BIN, {"--listen", tvtest::addr::hostile_exporter_listen, "--user", "admin",
                                                                             "--password-file", h.line[0], sw1}, {}, 20);
        EXPECT_EQ(1, r.status) << r.err;
        EXPECT_NE(std::string::npos, r.err.find(h.reason)) << r.err;
        EXPECT_LT(r.peak_rss_kb, max_peak_rss_kb);
        if (h.runs == program::tool) {
            EXPECT_TRUE(fab.requests().empty());
        }
    }
}

TEST(defaults_rules, each_line_is_a_comment_a_blank_or_a_key_with_a_value_of_its_kind) {
    const tvtest::temp_folder dir;
    const std::string empty_firmware = dir.file("empty-firmware", "");
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"MFS_TOV banana", "MFS_TOV: 'banana' is not a decimal number from 0 to 65535"},
        {"mfs_tov=70000", "mfs_tov: '70000' is not a decimal number from 0 to 65535"},
        {"ED_TOV -1", "ED_TOV: '-1' is not a decimal number from 0 to 2147483647"},
        {"RA_TOV 2147483648", "RA_TOV: '2147483648' is not a decimal number from 0 to 2147483647"},
        {"ip_gateway 10.0.0", "ip_gateway: '10.0.0' is not a dotted IPv4 address"},
        {"ip_addr 010.0.0.1", "ip_addr: '010.0.0.1' is not a dotted IPv4 address"},  // octal to the library
        {"ip_addr 10.0.0.5 10.0.0.6", "ip_addr: one value only, and '10.0.0.6' follows it"},
        {"IP_Auto maybe", "IP_Auto: 'maybe' is not false, bootp or rarp"},
        {"MFS_Mode 1,7", "MFS_Mode: the value for port 2, '7', is not a decimal number from 0 to 6"},
        {"Force_F_Port 0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1", "Force_F_Port: more than 16 ports"},
        {"E_D_TOV 2000", "unknown key 'E_D_TOV'"},
        {"IP_ArpTimeout", "IP_ArpTimeout: no value"},
        {"  ED_TOV 1", "a key must begin its line (an indented one is skipped)"},
        {"2000", "neither a key, a comment (#) nor blank"},
        {"ED_TOV 1\r", "a carriage return (DOS line ends): convert the file"},
        {"flash /nonexistent/fw.bin", "the firmware file '/nonexistent/fw.bin' cannot be read: No such file or directory"},
        {"flash /", "the firmware file '/' is not a regular file"},
        {"flash " + empty_firmware, "the firmware file '" + empty_firmware + "' is empty"},
    };
    for (const auto& [line, why] : refused) EXPECT_EQ(why, telvar::tool::defaults_line_problem(line)) << line;

    // Lines the tool accepts; the library applies each as written, with no second thoughts (what
    // each key stores: chassis_config_test and config_integration_test).
    const std::vector<std::string> keys = {
        "ip_addr 10.0.0.5", "ip_mask=255.255.0.0", "IP_GATEWAY = 10.0.0.254", "ip_broadcast 10.0.0.255",
        "IP_Auto BOOTP", "IP_ArpTimeout 900", "MFS_TOV 65535", "ED_TOV 2147483647", "RA_TOV=10000",
        "MFS_Mode 1,0,6", "Force_F_Port 0 1 1", "part_number 16-port edge"};
    std::array<std::uint8_t, 44> net{};
    std::array<std::uint8_t, 116> params{};
    params[20] = 16;  // ports
    for (const std::string& line : keys) {
        EXPECT_EQ("", telvar::tool::defaults_line_problem(line)) << line;
        std::uint32_t changed = 0;
        const auto applied = tv::defaults::apply_piece(line, {net, params}, changed);
        EXPECT_EQ(tv::defaults::verdict::applied, applied.what) << line;
        EXPECT_EQ("", applied.warning) << line;
    }
    for (const std::string& line : args{"", "  \t", "# comment", "   # indented comment", "#" + std::string(77, '-')})
        EXPECT_EQ("", telvar::tool::defaults_line_problem(line)) << line;
}

TEST(defaults_rules, the_whole_text_by_line_number_length_and_bytes) {
    using telvar::tool::text_problem;
    const auto& defaults = telvar::tool::defaults_input;
    // A refused line by its number and a line too long: through the tool, in the hostile table.
    EXPECT_EQ("", text_problem(defaults, "# ok\n\nED_TOV 2000\n" + std::string(78, '#') + "\nRA_TOV 10000"));
    EXPECT_EQ("line 1: a NUL byte: not a text line", text_problem(defaults, std::string("ED_TOV 2000\0 1\n", 15)));
    const auto& message = telvar::tool::message_input;
    EXPECT_EQ("", text_problem(message, "11000000\n# " + std::string(77, '-') + "\n"));
    EXPECT_EQ("line 2: longer than 79 characters", text_problem(message, "11000000\n" + std::string(80, '0') + "\n"));
}

}  // namespace
