// The credentials file: its lines and its checks (the reader in the process), then the tool
// logging into a fabric that requires a login with it, as a child process, and the account
// commands taking a new password from the environment.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "support/temp_folder.h"
#include "support/test_addresses.h"
#include "support/tool_test.h"
#include "switchsim/families/login_family.h"
#include "telvar/cli/credentials.h"

namespace {

namespace C = telvar::credentials;
using tvtest::args;

const std::string sw1 = tvtest::addr::credentials_base;

TEST(credentials_file, lines_are_taken_or_refused_with_their_number_and_reason) {
    struct text_case {
        std::string text;
        std::string error;  // empty: taken
        std::size_t entries = 0;
    };
    const std::vector<text_case> cases{
        {"# ADDRESS USER PASSWORD\n\n10.0.0.1 admin secret\n", "", 1},
        {"  \t# indented\r\n*\tadmin\tpw\r\ncore-sw2.example oper2 pw#2", "", 2},
        {"", "", 0},
        {"10.0.0.1 admin\n", "line 1: expected ADDRESS USER PASSWORD, found 2 fields"},
        {"# comment\n10.0.0.1 admin pass word\n", "line 2: expected ADDRESS USER PASSWORD, found 4 fields"},
        {"\n\nadmin\n", "line 3: expected ADDRESS USER PASSWORD, found 1 field"},
        {"10.0.0.256 admin pw\n", "line 1: '10.0.0.256' is not a dotted IPv4 address"},
        {"010.0.0.1 admin pw\n", "line 1: '010.0.0.1' is not a dotted IPv4 address"},
        {"sw/1 admin pw\n", "line 1: 'sw/1' is not an IPv4 address, a host name or *"},
        {"10.0.0.1 administr pw\n", "line 1: the user id 'administr' is longer than 8 characters"},
        {"10.0.0.1 admin secret123\n", "line 1: the password is longer than 8 characters"},
        {"10.0.0.1 admin se\x01t\n", "line 1: holds a control character"},
        {std::string("10.0.0.1 admin se\0t\n", 20), "line 1: holds a control character"},
    };
    for (const auto& c : cases) {
        C::file f;
        f.entries.resize(3);  // whatever it held before is replaced
        std::string error;
        EXPECT_EQ(c.error.empty(), C::parse(c.text, f, error)) << c.text;
        EXPECT_EQ(c.error, error) << c.text;
        EXPECT_EQ(c.entries, f.entries.size()) << c.text;
        EXPECT_EQ(std::string::npos, error.find("secret")) << "a password in the message: " << error;
    }
}

TEST(credentials_file, the_first_entry_for_the_address_as_typed_or_for_any_wins) {
    C::file f;
    std::string error;
    ASSERT_TRUE(C::parse("10.0.0.1 first pw1\nCore-SW2 named pw2\n10.0.0.1 second pw3\n* any pw4\n10.0.0.3 late pw5\n", f, error));
    const std::vector<std::pair<std::string, std::string>> cases{
        {"10.0.0.1", "first"}, {"core-sw2", "named"}, {"10.0.0.3", "any"}, {"10.0.0.10", "any"}};
    for (const auto& [address, user] : cases) {
        const C::entry* e = f.find(address);
        ASSERT_NE(nullptr, e) << address;
        EXPECT_EQ(user, e->user) << address;
    }
    EXPECT_EQ(2, f.find("CORE-sw2")->line);
    ASSERT_TRUE(C::parse("10.0.0.1 first pw1\n", f, error));
    EXPECT_EQ(nullptr, f.find("10.0.0.10"));
}

TEST(credentials_file, only_a_small_regular_file_that_only_its_owner_may_read_is_read) {
    const tvtest::temp_folder s;
    const std::string line = "* admin pw\n";
    const std::string comments(C::max_file_bytes - line.size(), '#');
    ASSERT_EQ(0, ::mkfifo(s.path("fifo").c_str(), 0600));  // opened, it must not wait for a writer
    struct file_case {
        std::string path;
        std::string error;  // after "PATH: "; empty: read
        bool missing_ok = false;
    };
    const std::vector<file_case> cases{
        {s.file("owner", line, 0600), ""},
        {s.file("read-only", line, 0400), ""},
        {s.file("group", line, 0640), "others than its owner may read or change it (mode 0640); chmod 600 " + s.path("group")},
        {s.file("group-write", line, 0620), "others than its owner may read or change it (mode 0620); chmod 600 " + s.path("group-write")},
        {s.path("fifo"), "is not a regular file"},
        {s.file("limit", comments + "\n" + line.substr(0, line.size() - 1)), ""},
        {s.file("large", comments + "\n" + line), "is larger than 65536 bytes"},
        {s.file("malformed", "# first\n* admin\n"), "line 2: expected ADDRESS USER PASSWORD, found 2 fields"},
        {s.path("missing"), "No such file or directory"},
        {s.path("missing"), "", true},
    };
    for (const auto& c : cases) {
        C::file f;
        std::string error;
        EXPECT_EQ(c.error.empty(), C::read(c.path, c.missing_ok, f, error)) << c.path;
        EXPECT_EQ(c.error.empty() ? "" : c.path + ": " + c.error, error);
        EXPECT_EQ(c.error.empty() && !c.missing_ok ? 1u : 0u, f.entries.size()) << c.path;
    }
}

class credentials_tool : public tvtest::tool_test {
protected:
    credentials_tool() : tool_test(tvtest::addr::credentials_base) {
        fab.require_login(true, 0);
    }
    std::optional<sim::user> user(const std::string& id) { return fab.user(0, id); }
    tvtest::temp_folder dir;
};

TEST_F(credentials_tool, the_file_logs_in_where_the_line_gives_no_login) {
    const std::string port3 = "Port: 3\tAdmin:   on, Operational:   on\n";
    struct run_case {
        std::string file;  // the text of a 0600 file, or a path in `env`
        args line;         // after the command word; the address last but for the port
        int status;
        std::string out;   // what it prints, or for a refusal the end of its one line on stderr
        std::vector<std::string> env{};
        mode_t mode = 0600;
    };
    const std::vector<run_case> cases{
        {"# the switch\n" + sw1 + " admin password\n", {sw1, "3"}, 0, port3},
        {"127.0.171.200 admin password\n", {sw1, "3"}, 2, "Error: Command requires user login\n"},
        // What the line gives wins: -u and -pw, -u with the environment's password, -p alone.
        {"* admin wrong\n", {"-u", "admin", "-pw", "password", sw1, "3"}, 0, port3},
        {"* admin wrong\n", {"-u", "oper", sw1, "3"}, 0, port3, {"TELVAR_PASSWORD=oper1234"}},
        {"* oper oper1234\n", {"-u", "oper", sw1, "3"}, 0, port3},  // the file's password for the same user
        {"* admin password\n", {"-p", "wrong", sw1, "3"}, 3, "Error: Invalid UserID or Password\n"},
        // Refused files: nothing is sent.
        {"* admin password\n", {sw1, "3"}, 1, ": others than its owner may read or change it (mode 0644); chmod 600 ", {}, 0644},
        {"* admin password extra\n", {sw1, "3"}, 1, ": line 1: expected ADDRESS USER PASSWORD, found 4 fields"},
        {"", {sw1, "3"}, 1, ": No such file or directory", {"TELVAR_CREDENTIALS=" + dir.path("none")}},
        {"", {sw1, "3"}, 2, "Error: Command requires user login\n", {"TELVAR_CREDENTIALS="}},
    };
    for (const auto& c : cases) {
        fab.server().clear_records();
        const std::string path = dir.file("credentials", c.file, c.mode);
        std::vector<std::string> env = c.env;
        env.push_back("TELVAR_CREDENTIALS=" + path);  // after the case's own, which win
        args line{"port_state"};
        line.insert(line.end(), c.line.begin(), c.line.end());
        const tvtest::tool_result r = telvar(line, env);
        EXPECT_EQ(c.status, r.status) << c.file << r.err;
        if (c.status == 1) {
            EXPECT_EQ(0u, r.err.find("telvar: port_state: credentials file ")) << r.err;
            EXPECT_NE(std::string::npos, r.err.find(c.out)) << r.err;
            EXPECT_EQ("", r.out);
            EXPECT_TRUE(fab.requests().empty()) << c.file;
        } else {
            EXPECT_EQ(c.out, r.out) << c.file << r.err;
        }
        EXPECT_EQ(0u, fab.sessions(0)) << c.file;  // logged out again
    }
}

TEST_F(credentials_tool, a_new_password_left_out_comes_from_the_environment) {
    const std::string file = dir.file("credentials", sw1 + " admin password\n");
    const std::string creds = "TELVAR_CREDENTIALS=" + file;
    auto r = telvar({"user_add", sw1, "bob", "2"}, {creds, "TELVAR_NEW_PASSWORD=bobpw"});
    EXPECT_EQ("SUCCESS\n", r.out) << r.err;
    ASSERT_TRUE(user("bob"));
    EXPECT_EQ("bobpw", user("bob")->password);
    EXPECT_EQ(2, user("bob")->level);
    // The operand, when given, is the password; the variable is not looked at.
    EXPECT_EQ("SUCCESS\n", telvar({"user_add", sw1, "carol", "carolpw", "1"}, {creds, "TELVAR_NEW_PASSWORD=x"}).out);
    EXPECT_EQ("carolpw", user("carol")->password);

    const std::string as_bob = "TELVAR_CREDENTIALS=" + dir.file("bob", "* bob bobpw\n");
    EXPECT_EQ("SUCCESS\n", telvar({"passwd", sw1}, {as_bob, "TELVAR_NEW_PASSWORD=newpw"}).out);
    EXPECT_EQ("newpw", user("bob")->password);

    // Without the variable (and without a terminal), or with a password the switch cannot keep,
    // nothing is sent.
    fab.server().clear_records();
    struct refusal {
        args line;
        std::vector<std::string> env;
        std::string why;
    };
    const std::vector<refusal> refusals{
        {{"passwd", sw1}, {creds}, "no new password: give it, type it on a terminal, or set TELVAR_NEW_PASSWORD"},
        {{"passwd", sw1}, {creds, "TELVAR_NEW_PASSWORD="}, "TELVAR_NEW_PASSWORD is empty"},
        {{"user_add", sw1, "dave", "1"}, {creds, "TELVAR_NEW_PASSWORD=ninechars"}, "the password is longer than 8 characters"},
    };
    for (const auto& f : refusals) {
        r = telvar(f.line, f.env);
        EXPECT_EQ(1, r.status) << f.why;
        EXPECT_EQ("telvar " + f.line[0] + ": " + f.why + "; nothing was changed\n", r.err);
    }
    r = telvar({"user_add", sw1, "dave", "4"}, {creds, "TELVAR_NEW_PASSWORD=pw"});  // checked before
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(0u, r.err.find("telvar user_add: the level is 1, 2 or 3\n")) << r.err;
    EXPECT_TRUE(fab.requests().empty());
    EXPECT_FALSE(user("dave"));
}

}  // namespace
