// The maintenance commands of the telvar tool end to end, as child processes against a fabric
// of the simulator in this process: management variables, raw messages, logging in and the
// user accounts.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "support/test_addresses.h"
#include "support/tool_test.h"

namespace {

using tvtest::args;

const std::string sw1 = tvtest::addr::maintenance_base;

class maintenance_tool : public tvtest::tool_test {
protected:
    maintenance_tool() : tool_test(tvtest::addr::maintenance_base) {}
};

TEST_F(maintenance_tool, management_variables_round_trip) {
    EXPECT_EQ("\"type=FL admin=on oper=on speed=auto\"\n", telvar({"smlget", sw1, "show", "port", "3"}).out);
    auto r = telvar({"smlset", sw1, "set", "port", "3", "speed", "2"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ("SUCCESS\n", r.out);
    EXPECT_EQ("\"2\"\n", telvar({"smlget", sw1, "port", "3", "speed"}).out);

    // A variable that mirrors the port configuration changes it.
    EXPECT_EQ("SUCCESS\n", telvar({"smlset", sw1, "set", "port", "5", "admin", "off"}).out);
    EXPECT_EQ(2, on_switch(0, [](sim::switch_state& s) { return s.get<sim::port_state>().active[4].admin; }));
    EXPECT_EQ("SUCCESS\n", telvar({"smlset", sw1, "snmp.community", "ops", "team"}).out);
    EXPECT_EQ("\"ops team\"\n", telvar({"smlget", sw1, "show", "snmp.community"}).out);

    // The switch's codes: unknown variable, read-only, value refused.
    EXPECT_EQ("command failed with code: 0x1\n", telvar({"smlget", sw1, "show", "nosuch"}).out);
    EXPECT_EQ("command failed with code: 0x1\n", telvar({"smlset", sw1, "set", "nosuch", "1"}).out);
    EXPECT_EQ("command failed with code: 0x3\n", telvar({"smlset", sw1, "set", "switch", "name", "x"}).out);
    EXPECT_EQ("command failed with code: 0x2\n", telvar({"smlset", sw1, "set", "port", "3", "speed", "9"}).out);
}

TEST_F(maintenance_tool, request_text_is_bounded_and_words_are_required) {
    const std::size_t before = fab.requests().size();
    const auto r = telvar({"smlset", sw1, "set", std::string(250, 'x'), "y"});
    EXPECT_EQ("request text longer than 255 characters\nError: Invalid Parameter\n", r.out);
    EXPECT_EQ(before, fab.requests().size());  // nothing was sent
    // The longest text that fits is sent.
    EXPECT_EQ("command failed with code: 0x1\n", telvar({"smlget", sw1, std::string(253, 'x'), "y"}).out);
    EXPECT_EQ(1, telvar({"smlget", sw1}).status);
}

TEST_F(maintenance_tool, message_dumps_the_raw_answer) {
    const std::string file = ::testing::TempDir() + "maintenance_version.txt";
    std::ofstream(file) << "# a version request\n11000000\n00fffffd\n00070004\n\n00000001\n";
    const auto r = telvar({"message", sw1, file});
    EXPECT_EQ(0, r.status);
    // The version answer: the request's header with the answer's length, the firmware
    // revision, ... and the checksum as word 0x15; zeros after it.
    ASSERT_EQ(0u, r.out.find("\nResponse Buffer\n\n00  11000000\n01  00fffffd\n02  00070048\n"
                             "03  00000001\n04  00000000\n05  0040119a\n06  00000301\n"));
    // 128 numbered words, the answer's 22 and zeros after them.
    EXPECT_EQ(131, std::count(r.out.begin(), r.out.end(), '\n'));
    EXPECT_NE(std::string::npos, r.out.find("\n15  000005c6\n16  00000000\n"));
    EXPECT_EQ(r.out.size() - 14, r.out.find("\n7f  00000000\n"));
    EXPECT_EQ("\nResponse Buffer\nError: No such file or directory\n",
              telvar({"message", sw1, file + ".missing"}).out);
}

TEST_F(maintenance_tool, logins_and_user_accounts) {
    on_switch(0, [](sim::switch_state& s) { return s.get<sim::login_state>().login_required = true; });
    auto r = telvar({"smlset", sw1, "set", "port", "3", "speed", "1"});
    EXPECT_EQ("Error: Command requires user login\n", r.out);
    EXPECT_NE(std::string::npos, r.err.find("give -u <user> -p <password>")) << r.err;
    r = telvar({"smlset", "-u", "admin", "-p", "password", sw1, "set", "port", "3", "speed", "1"});
    EXPECT_EQ("SUCCESS\n", r.out);
    EXPECT_EQ("", r.err);

    const auto sessions = [&] { return on_switch(0, [](sim::switch_state& s) { return s.get<sim::login_state>().sessions.size(); }); };
    const std::size_t open_sessions = sessions();
    EXPECT_EQ("SUCCESS\n", telvar({"user_add", "-u", "admin", "-p", "password", sw1, "bob", "bobpw", "1"}).out);
    EXPECT_EQ(open_sessions, sessions());  // the account commands log out again
    EXPECT_EQ("\"1\"\n", telvar({"smlget", "-u", "bob", "-p", "bobpw", sw1, "port", "3", "speed"}).out);
    EXPECT_EQ("SUCCESS\n", telvar({"passwd", "-u", "bob", "-p", "bobpw", sw1, "newpw"}).out);
    EXPECT_EQ("\"1\"\n", telvar({"smlget", "-u", "bob", "-p", "newpw", sw1, "port", "3", "speed"}).out);
    EXPECT_EQ("SUCCESS\n", telvar({"user_delete", "-u", "admin", "-p", "password", sw1, "bob"}).out);
    r = telvar({"smlget", "-u", "bob", "-p", "newpw", sw1, "port", "3", "speed"});
    EXPECT_EQ("Error: Invalid UserID or Password\n", r.out);

    // Command-line errors: no login, a bad level.
    for (const args& a : {args{"user_add", sw1, "eve", "pw", "1"},
                          args{"user_add", "-u", "admin", "-p", "password", sw1, "eve", "pw", "4"}}) {
        r = telvar(a);
        EXPECT_EQ(1, r.status) << a.back();
        EXPECT_EQ("", r.out) << a.back();
        EXPECT_NE(std::string::npos, r.err.find("    telvar " + a[0] + " [global flags]")) << r.err;
    }
}

}  // namespace
