// The maintenance commands of the telvar tool end to end, as child processes against a fabric
// of the simulator in this process: management variables, raw messages, logging in and the
// user accounts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "proto/header.h"
#include "proto/identity/layout.h"
#include "support/test_addresses.h"
#include "support/tool_test.h"
#include "switchsim/families/identity_family.h"

namespace {

const std::string sw1 = tvtest::addr::maintenance_base;

class maintenance_tool : public tvtest::tool_test {
protected:
    maintenance_tool() : tool_test(tvtest::addr::maintenance_base) {}
};

// The answer buffer of a `message` dump, byte by byte; empty when a line is not the word its
// place calls for ("\n%2.2x  %08x", numbered 00 to 7f).
std::vector<std::uint8_t> dumped_bytes(const std::string& out) {
    std::istringstream in(out.substr(std::min(out.size(), out.find("Response Buffer\n"))));
    std::string line;
    std::getline(in, line);  // the title
    std::getline(in, line);  // the blank line before the first word
    std::vector<std::uint8_t> bytes;
    for (unsigned n = 0; std::getline(in, line); ++n) {
        char number[8];
        std::snprintf(number, sizeof number, "%2.2x  ", n);
        if (line.size() != 12 || line.compare(0, 4, number) != 0) return {};
        const auto word = static_cast<std::uint32_t>(std::stoul(line.substr(4), nullptr, 16));
        for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(word >> shift));
    }
    return bytes;
}

TEST_F(maintenance_tool, management_variables_round_trip) {
    EXPECT_EQ("\"type=FL admin=on oper=on speed=auto\"\n", telvar({"smlget", sw1, "show", "port", "3"}).out);
    auto r = telvar({"smlset", sw1, "set", "port", "3", "speed", "2"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("SUCCESS\n", r.out);
    EXPECT_EQ("\"2\"\n", telvar({"smlget", sw1, "port", "3", "speed"}).out);

    // A variable that mirrors the port configuration changes it.
    EXPECT_EQ("SUCCESS\n", telvar({"smlset", sw1, "set", "port", "5", "admin", "off"}).out);
    EXPECT_EQ(2, fab.on_switch(0, [](sim::switch_state& s) { return s.get<sim::port_state>().active[4].admin; }));
    EXPECT_EQ("SUCCESS\n", telvar({"smlset", sw1, "snmp.community", "ops", "team"}).out);
    EXPECT_EQ("\"ops team\"\n", telvar({"smlget", sw1, "show", "snmp.community"}).out);

    // The switch's codes: unknown variable, read-only, value refused.
    EXPECT_EQ("command failed with code: 0x1\n", telvar({"smlget", sw1, "show", "nosuch"}).out);
    EXPECT_EQ("command failed with code: 0x1\n", telvar({"smlset", sw1, "set", "nosuch", "1"}).out);
    EXPECT_EQ("command failed with code: 0x3\n", telvar({"smlset", sw1, "set", "switch", "name", "x"}).out);
    EXPECT_EQ("command failed with code: 0x2\n", telvar({"smlset", sw1, "set", "port", "3", "speed", "9"}).out);
}

TEST_F(maintenance_tool, request_text_is_bounded) {
    const std::size_t before = fab.requests().size();
    const auto r = telvar({"smlset", sw1, "set", std::string(250, 'x'), "y"});
    EXPECT_EQ("request text longer than 255 characters\nError: Invalid Parameter\n", r.out);
    EXPECT_EQ(before, fab.requests().size());  // nothing was sent
    // The longest text that fits is sent.
    EXPECT_EQ("command failed with code: 0x1\n", telvar({"smlget", sw1, std::string(253, 'x'), "y"}).out);
}

// The example in docs/ (comments, blank lines and words) is the version request it says it is:
// the simulator answers it with the switch's own version record, whole and checksummed, dumped
// as 128 numbered words.
TEST_F(maintenance_tool, documented_request_file_asks_for_the_version_and_the_answer_is_dumped) {
    namespace L = tv::layout::identity::version;
    const std::string file = std::string(TELVAR_SOURCE_DIR) + "/docs/request-version.txt";
    const auto [flash, fc_addr] = fab.on_switch(0, [](sim::switch_state& s) {
        return std::pair(s.get<sim::identity_state>().flash_rev, s.fc_addr);
    });
    fab.server().clear_records();
    const auto r = telvar({"message", sw1, file});
    EXPECT_EQ(0, r.status) << r.err;

    // What reached the switch: a version request to the addressed switch, sequence number 1,
    // with the checksum the tool appended.
    const auto sent = fab.requests();
    ASSERT_FALSE(sent.empty());
    const std::vector<std::uint8_t>& req = sent.back();
    ASSERT_EQ(L::req_len, req.size());
    const tv_msg_header h = tv::decode_header(req);
    EXPECT_EQ(1, h.hdr_version);
    EXPECT_EQ(4, h.hdr_format);
    EXPECT_EQ(0xFFFFFDu, h.hdr_dest);
    EXPECT_EQ(TV_CMD_VERSION, h.hdr_command);
    EXPECT_EQ(L::req_len - 16, h.hdr_length);
    EXPECT_EQ(1u, h.hdr_seq);
    EXPECT_EQ(1, tv_verify_chksum(req.data(), static_cast<int32_t>(req.size())));

    // The answer in the dump: the whole version record, checksummed, and zeros after it.
    EXPECT_EQ(0u, r.out.find("\nResponse Buffer\n\n00  11000000\n")) << r.out;
    const std::vector<std::uint8_t> answer = dumped_bytes(r.out);
    ASSERT_EQ(512u, answer.size()) << r.out;
    EXPECT_EQ(1, tv_verify_chksum(answer.data(), static_cast<int32_t>(L::ret_len)));
    EXPECT_EQ(flash, tv::wire::get_be32(answer, L::flash_rev));
    EXPECT_EQ(fc_addr, tv::wire::get_be32(answer, L::fc_addr));
    EXPECT_TRUE(std::all_of(answer.begin() + L::ret_len, answer.end(), [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ("\nResponse Buffer\nError: No such file or directory\n", telvar({"message", sw1, file + ".missing"}).out);
}

TEST_F(maintenance_tool, logins_and_user_accounts) {
    fab.require_login(true, 0);
    auto r = telvar({"smlset", sw1, "set", "port", "3", "speed", "1"});
    EXPECT_EQ("Error: Command requires user login\n", r.out);
    r = telvar({"smlset", "-u", "admin", "-p", "password", sw1, "set", "port", "3", "speed", "1"});
    EXPECT_EQ("SUCCESS\n", r.out);
    EXPECT_EQ("", r.err);

    const std::size_t open_sessions = fab.sessions(0);
    EXPECT_EQ("SUCCESS\n", telvar({"user_add", "-u", "admin", "-p", "password", sw1, "bob", "bobpw", "1"}).out);
    EXPECT_EQ(open_sessions, fab.sessions(0));  // the account commands log out again
    EXPECT_EQ("\"1\"\n", telvar({"smlget", "-u", "bob", "-p", "bobpw", sw1, "port", "3", "speed"}).out);
    EXPECT_EQ("SUCCESS\n", telvar({"passwd", "-u", "bob", "-p", "bobpw", sw1, "newpw"}).out);
    EXPECT_EQ("\"1\"\n", telvar({"smlget", "-u", "bob", "-p", "newpw", sw1, "port", "3", "speed"}).out);
    EXPECT_EQ("SUCCESS\n", telvar({"user_delete", "-u", "admin", "-p", "password", sw1, "bob"}).out);
    r = telvar({"smlget", "-u", "bob", "-p", "newpw", sw1, "port", "3", "speed"});
    EXPECT_EQ("Error: Invalid UserID or Password\n", r.out);

    // An account command without a login on its line is a command-line error.
    r = telvar({"user_add", sw1, "eve", "pw", "1"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_NE(std::string::npos, r.err.find("    telvar user_add [global flags]")) << r.err;
}

}  // namespace
