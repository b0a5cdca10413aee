// The tool's command lines against a fabric of the simulator: every refused line exits 1 (2 for
// diff, zone_lint, zone_apply) with a one-line reason and the command's usage lines on standard
// error, before anything but the port count reaches a switch; what the accepted spellings hand
// to the command; the questions the tool asks on a terminal (a password, a confirmation).
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "proto/ports/layout.h"
#include "support/command_output.h"
#include "support/run_tool.h"
#include "support/terminal.h"
#include "support/test_addresses.h"
#include "support/tool_test.h"
#include "telvar/cli/command_line.h"
#include "telvar/telvar.h"

namespace {

using tvtest::args;

const std::string sw1 = tvtest::addr::command_line_base;  // 127.0.90.2: 16 ports, port 16 a T_Port

class command_line : public tvtest::tool_test {
protected:
    command_line() : tool_test(tvtest::addr::command_line_base, tvtest::local_port::as_given) {}
    sim::port_config port_cfg(std::size_t port) {
        return fab.on_switch(0, [&](sim::switch_state& s) { return s.get<sim::port_state>().active[port]; });
    }
};

// A refused line: the reason and the command's own usage lines on standard error, nothing on
// standard output; exit status 1, or 2 for the commands whose statuses follow diff(1).
void expect_refused(const tvtest::tool_result& r, const std::string& reason, int status) {
    const std::string word = reason.substr(0, reason.find(':'));
    const telvar::command* c = telvar::find_command(word);
    ASSERT_NE(nullptr, c) << reason;
    EXPECT_EQ(status, r.status) << reason;
    EXPECT_EQ("", r.out) << reason;
    EXPECT_EQ(0u, r.err.find("telvar: " + reason)) << r.err;
    const std::size_t first_line = r.err.find('\n');
    ASSERT_NE(std::string::npos, first_line) << r.err;
    EXPECT_EQ(telvar::usage_of(*c), r.err.substr(first_line + 1)) << reason;
    EXPECT_NE("", telvar::usage_of(*c)) << word;
}

TEST_F(command_line, mistakes_are_refused_with_a_reason_before_anything_is_sent) {
    struct mistake {
        args line;
        std::string reason;  // the start of the line on standard error, from the command word
        int status = 1;
        std::vector<std::string> env{};
    };
    const std::vector<mistake> mistakes{
        {{"version", "-port", "0", "-f", "zz", sw1}, "version: -f: 'zz' is not the FC address of a switch"},
        {{"version", "-port", "0", "-f", "0x1000000", sw1}, "version: -f: '0x1000000'"},
        {{"version", "-port", "70000", sw1}, "version: -port: '70000' is not a UDP port (0 to 65535)"},
        {{"-port", "5x", "version", sw1}, "version: -port: '5x'"},
        {{"version", sw1}, "version: TELVARPORT: 'many'", 1, {"TELVARPORT=many"}},
        {{"version", "-port", "0", "999.1.1.1"}, "version: '999.1.1.1' is not an IPv4 address"},
        {{"version", "-port", "0", "no-such-switch.invalid"}, "version: 'no-such-switch.invalid' is not"},
        {{"version", "-port", "0", sw1, "extra"}, "version: unexpected argument 'extra'"},
        {{"--json", "version", "-port", "0", sw1, "extra"}, "version: unexpected argument 'extra'"},
        {{"version", "-port", "0", "-x", sw1}, "version: unknown option -x"},
        {{"version", sw1, "-port", "0", "-x"}, "version: unknown option -x"},  // after the address too
        {{"version", "-port", "0"}, "version: missing <ip>"},
        {{"version", "-port", "0", sw1, "--timeout", "0"}, "version: --timeout: '0' is not a number of milliseconds from 1 to 600000"},
        {{"version", "-port", "0", sw1, "--wait"}, "version: --wait needs a value"},
        {{"port_state", "-port", "0", sw1, "3x"}, "port_state: '3x' is not a port number (1 and up) or all"},
        {{"port_state", "-port", "0", sw1, "0"}, "port_state: '0' is not a port number"},
        {{"port_state", "-port", "0", "-s", "maybe", sw1, "1"}, "port_state: -s: 'maybe' is not on or off"},
        {{"port_type", "-port", "0", "-s"}, "port_type: -s needs a value"},
        {{"get_zone", "-port", "0", sw1, "fc", "1"}, "get_zone: 'fc' is not hd, ns, bcst, sl or a number from 1 to 4"},
        {{"get_zone", "-port", "0", sw1, "hd", "16"}, "get_zone: '16' is not a zone id of hd zones (0 to 15) or all"},
        {{"set_zone", "-port", "0", sw1, "ns", "256", "1"}, "set_zone: '256' is not a zone id of ns zones (0 to 255)"},
        {{"set_zone", "-port", "0", sw1, "hd", "1", "2", "5-x"}, "set_zone: '5-x' is not a port number or a range"},
        {{"set_zone", "-port", "0", sw1, "hd", "1", "8-5"}, "set_zone: '8-5' is not a port number or a range"},
        {{"disable_zone_type", "-port", "0", sw1, "5"}, "disable_zone_type: '5' is not hd, ns, bcst, sl or a number from 1 to 4"},
        {{"wwn_zone", "-port", "0", "-r", "3", sw1}, "wwn_zone: -r: '3' is not 0, 1 or 2"},
        {{"set_wwn_zone", "-port", "0", sw1, "12", "200000c0dd00caf"}, "set_wwn_zone: '200000c0dd00caf' is not a WWN"},
        {{"set_wwn_zone", "-port", "0", sw1, "12", "20:00:00:c0:dd:00:ca", "x"}, "set_wwn_zone: '20:00:00:c0:dd:00:ca' is not a WWN"},
        {{"set_wwn_zone", "-port", "0", sw1, "300", "200000c0dd00cafe"}, "set_wwn_zone: '300' is not a number from 0 to 255"},
        {{"chassis_tovs", "-port", "0", "-e", "25O0", sw1}, "chassis_tovs: -e: '25O0' is not a number"},
        {{"chassis_mode", "-port", "0", "-s", "up", sw1}, "chassis_mode: -s: 'up' is not on, off or test"},
        {{"start_test", "-port", "0", "-t", "xyz", sw1, "1"}, "start_test: -t: 'xyz' is not a hex number of up to 8 digits"},
        {{"set_trapping", "-port", "0", "-t", "maybe", sw1}, "set_trapping: -t: 'maybe' is not enabled or disabled"},
        {{"discover", "-port", "0", "127.0.90.1", "3x"}, "discover: '3x' is not a number"},
        {{"discover", "-port", "0", "-j", "0", "127.0.90.1", "3"}, "discover: -j: '0' is not a number from 1 to 65536"},
        {{"trap_listen", "-port", "0", "-t", "soon", sw1}, "trap_listen: -t: 'soon' is not a number of seconds"},
        {{"set_trap_config", "-port", "0", sw1, "5", "on", "1"}, "set_trap_config: missing <int>"},
        {{"set_trap_config", "-port", "0", sw1, "11", "yes", "10", "2"}, "set_trap_config: 'yes' is not on, 1, enabled, off, 0 or disabled"},
        {{"set_trap_config", "-port", "0", sw1, "32", "on", "10", "2"}, "set_trap_config: '32' is not a number from 0 to 31"},
        {{"smlget", "-port", "0", sw1, "show", "-x"}, "smlget: unknown option -x"},  // words with a dash follow --
        {{"smlget", "-port", "0", sw1}, "smlget: missing <word>..."},
        {{"zone_lint", "-port", "0", "--snapshot"}, "zone_lint: --snapshot needs a value", 2},
        {{"zone_lint", "-port", "0", sw1, "--snapshot", "a.json"}, "zone_lint: unexpected argument '" + sw1 + "'", 2},
        {{"zone_apply", "-port", "0", sw1}, "zone_apply: missing <file>", 2},
        {{"diff", "a.json", "--every"}, "diff: unknown option --every", 2},
        {{"locate", "-port", "0", "200000c0dd00cafe"}, "locate: '200000c0dd00cafe' is not an IPv4 address (dotted, no leading zeros) "
                                                       "or a host name that resolves or a snapshot file, and no --snapshot was given"},
        {{"locate", "-port", "0", "--snapshot", "a.json"}, "locate: missing <wwn>|<fcaddr>"},
        {{"locate", "a.json", "zz"}, "locate: 'zz' is not a WWN (16 hex digits, or 8 pairs joined by colons) or an FC address"},
        {{"map", "-port", "0", "-o"}, "map: -o needs a value"},
        // Standard input is no terminal here, and the environment has no password.
        {{"port_state", "-port", "0", "-u", "admin", sw1, "1"}, "port_state: -u needs a password"},
    };
    for (const auto& m : mistakes) expect_refused(telvar(m.line, m.env), m.reason, m.status);
    EXPECT_TRUE(fab.requests().empty());

    // A port the switch does not have is known once its port count is read, and nothing else is sent.
    const std::vector<mistake> beyond{
        {{"port_state", "-port", "0", sw1, "17"}, "port_state: port 17: this switch has ports 1-16"},
        {{"--json", "port_counts", sw1, "20", "-port", "0"}, "port_counts: port 20: this switch has ports 1-16"},
        {{"set_zone", "-port", "0", sw1, "hd", "3", "2", "5-17"}, "set_zone: port 17: this switch has ports 1-16"},
        {{"port_steering", "-port", "0", "-f", "108000", sw1, "99"}, "port_steering: port 99: this switch has ports 1-16"},
    };
    for (const auto& m : beyond) expect_refused(telvar(m.line, m.env), m.reason, m.status);
    const std::vector<std::uint32_t> sent = fab.subcommands();
    EXPECT_EQ(beyond.size(), sent.size());
    for (const std::uint32_t sub : sent) EXPECT_EQ(tv::layout::ports::subcmd::port_types, sub);
}

// What reaches the command from the spellings the dispatcher accepts, seen in the switch or in
// the report: trap words, WWNs with colons, options after the operands, "--", late --json and
// -h, global flags after the address, a snapshot file where the address stands.
TEST_F(command_line, every_accepted_spelling_reaches_the_command_as_it_knows_it) {
    const std::string snap = ::testing::TempDir() + "command_line_snapshot.json";
    ASSERT_EQ(0, telvar({"snapshot", sw1, "-o", snap, "-port", "0"}).status);
    const auto trap_line = [&](const std::string& code) {
        const std::string out = telvar({"get_trap_config", "-port", "0", sw1}).out;
        const std::size_t at = out.find("\n" + code + "    ");
        return at == std::string::npos ? std::string() : out.substr(at + 1, out.find('\n', at + 1) - at - 1).substr(0, 30);
    };
    struct spelling {
        args line;
        std::function<std::string()> seen;  // what the switch or the report shows afterwards
        std::string expected;
        int status = 0;
    };
    const std::vector<spelling> spellings{
        {{"set_trap_config", sw1, "11", "enabled", "10", "2", "-port", "0"}, [&] { return trap_line("11"); }, "11    enabled   10       2    "},
        {{"set_trap_config", sw1, "11", "disabled", "10", "2", "-port", "0"}, [&] { return trap_line("11"); }, "11    disabled  10       2    "},
        {{"set_trap_config", sw1, "12", "1", "-5", "-7", "-port", "0"}, [&] { return trap_line("12"); }, "12    enabled   -5       -7   "},
        {{"set_trap_config", "-port", "0", "--", sw1, "12", "off", "-6", "-8"}, [&] { return trap_line("12"); }, "12    disabled  -6       -8   "},
        {{"set_trap_config", sw1, "12", "on", "-6", "-8", "-port", "0"}, [&] { return trap_line("12"); }, "12    enabled   -6       -8   "},
        {{"set_trap_config", sw1, "12", "0", "-6", "-8", "-port", "0"}, [&] { return trap_line("12"); }, "12    disabled  -6       -8   "},
        {{"set_wwn_zone", sw1, "7", "21:00:00:00:5E:CC:00:01", "disk", "-port", "0"},
         [&] {
             const std::string out = telvar({"get_wwn_zone", "-port", "0", sw1}).out;
             const std::size_t at = out.find("WWN: 210000005ecc0001");
             return at == std::string::npos ? std::string() : out.substr(at, out.find('\n', out.find('\n', at) + 1) - at);
         },
         "WWN: 210000005ecc0001\n     Member of zone(s): 7 "},
        {{"port_state", sw1, "3", "-s", "off", "-y", "-port", "0"},
         [&] { return std::to_string(port_cfg(2).admin); }, "2"},
        {{"version", sw1, "-port", "0", "-f", "108000", "--timeout", "2000", "--wait", "100"},
         [] { return std::string(); }, ""},
    };
    for (const auto& s : spellings) {
        const auto r = telvar(s.line);
        EXPECT_EQ(s.status, r.status) << s.line[0] << "\n" << r.out << r.err;
        EXPECT_EQ(s.expected, s.seen()) << s.line[0];
    }

    // Reports, through late flags and a snapshot file in the address's place.
    struct report {
        args line;
        std::string starts;  // the start of standard output
        int status = 0;
    };
    const std::vector<report> reports{
        {{"version", sw1, "-port", "0", "-f", "108000"}, "HW: \t302\n"},
        {{"version", sw1, "--json", "-port", "0"}, "{"},
        {{"port_state", sw1, "3", "-h"}, Usage[18]},
        {{"port_state", "--help"}, Usage[18]},
        {{"smlget", "-port", "0", sw1, "--", "show", "port", "3"}, "\""},
        {{"locate", snap, "21:00:00:00:5e:01:01:01"}, "device:  21:00:00:00:5e:01:01:01"},
        {{"zone_lint", snap}, "chassis 1: ", 1},  // the default fabric has zoning problems
        {{"map", snap, "-o", ::testing::TempDir() + "command_line_map.svg"}, ""},
    };
    for (const auto& r : reports) {
        const auto got = telvar(r.line);
        EXPECT_EQ(r.status, got.status) << r.line[0] << " " << r.line[1] << "\n" << got.out << got.err;
        EXPECT_EQ(0u, got.out.find(r.starts)) << r.line[0] << " " << r.line[1] << "\n" << got.out;
    }
}

TEST_F(command_line, global_flags_before_the_command_word_the_dispatchers_own_flags_and_words) {
    auto r = telvar({"-port", "0", "-f", "0x108000", "version", sw1});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(0u, r.out.find("HW: \t302\n")) << r.out;  // the second switch, through the first
    // -y is the dispatcher's: the command, which knows no -y, never sees it.
    r = telvar({"-y", "port_state", "-port", "0", "-s", "off", sw1, "all"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(0u, r.out.find("SUCCESS\n"));
    EXPECT_EQ(2, port_cfg(15).admin);

    r = telvar({"version", "-port", "0", "-h", "999.1.1.1"});  // help asked for is no error
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(Usage[4], r.out);
    r = telvar({"--version"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(std::string("telvar version ") + tv_api_version() + "\ntelvar build " + TELVAR_BUILD_ID + "\n", r.out);
    r = telvar({"verison", sw1});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ("telvar: unknown command 'verison'; did you mean 'version'?\ntelvar: 'telvar help' lists the commands\n", r.err);
    EXPECT_EQ("telvar: unknown command 'zzz'\ntelvar: 'telvar help' lists the commands\n", telvar({"zzz", sw1}).err);
}

// Commands that land without a description still compile and get the generic check: global
// flags and, when no option of the command's own comes first, the address.
TEST(command_descriptions, are_well_formed_and_undescribed_commands_are_checked_generically) {
    for (const auto& c : telvar::commands()) EXPECT_EQ("", telvar::syntax_problem(c.args)) << c.word;
    EXPECT_EQ("unknown kind <prot>", telvar::syntax_problem({"", "<ip> <prot>"}));
    EXPECT_NE("", telvar::syntax_problem({"on|off", "<ip>"}));

    const telvar::command later{"later", nullptr};
    const auto refusal = [&](std::initializer_list<const char*> line) {
        tvtest::arg_vector v(line);
        return telvar::check_command_line(later, {v.argv(), static_cast<std::size_t>(v.argc())}).refusal;
    };
    EXPECT_EQ("", refusal({"-port", "0", "127.0.90.2", "3x", "anything"}));
    EXPECT_EQ("", refusal({"-x", "512", "-w", "3", "127.0.90.2", "3"}));  // -x may take a value
    EXPECT_NE("", refusal({"-f", "zz", "-x", "127.0.90.2"}));
    EXPECT_NE("", refusal({"-port", "0", "999.1.1.1", "3"}));
}

// A command line as the dispatcher holds it: the command word, then the elements, "{ip}" standing
// for the address of the test's switch.
class line_of {
public:
    line_of(std::string_view word, std::string_view text) {
        words_.emplace_back(word);
        std::istringstream in{std::string(text)};
        for (std::string w; in >> w;) words_.push_back(w == "{ip}" ? sw1 : w);
        for (auto& w : words_) line.push_back(w.data());
    }
    std::span<char* const> args() const { return std::span(line).subspan(1); }
    std::vector<std::string> now() const { return {line.begin(), line.end()}; }

    std::vector<char*> line;

private:
    std::vector<std::string> words_;
};

TEST(command_descriptions, every_sample_passes_the_check_of_its_command) {
    for (const auto& c : telvar::commands()) {
        ASSERT_FALSE(c.sample.empty()) << c.word;
        const line_of l(c.word, c.sample);
        EXPECT_EQ("", telvar::check_command_line(c, l.args()).refusal) << c.word << " " << c.sample;
    }
}

// The options of a command without an option loop of its own are taken off its line and handed
// to it; global flags and -y stay the business of the command's loop and of the dispatcher.
TEST(command_descriptions, options_of_the_data_commands_are_handed_over) {
    struct handing {
        std::string word, line;
        std::vector<std::string> left;  // the line the command sees
        std::vector<std::pair<std::string, std::string>> handed;  // option, value ("" for a flag)
    };
    const std::vector<handing> cases{
        {"zone_apply", "--dry-run -save -port 0 {ip} z.json", {"zone_apply", "-port", "0", sw1, "z.json"}, {{"--dry-run", ""}, {"-s", ""}}},
        {"zone_apply", "-y {ip} z.json --dry-run", {"zone_apply", sw1, "z.json"}, {{"--dry-run", ""}}},
        {"locate", "200000c0dd00cafe --snapshot a.json", {"locate", "200000c0dd00cafe"}, {{"--snapshot", "a.json"}}},
        {"zone_lint", "-f 108000 {ip}", {"zone_lint", "-f", "108000", sw1}, {}},
        {"map", "--devices -o x.svg -o y.svg fabric.json", {"map", "fabric.json"}, {{"--devices", ""}, {"-o", "y.svg"}}},
        {"diff", "a.json --all b.json", {"diff", "a.json", "b.json"}, {{"--all", ""}}},
        // A command with its own option loop keeps its options.
        {"port_state", "-s on -y {ip} 3", {"port_state", "-s", "on", sw1, "3"}, {}},
    };
    for (const auto& h : cases) {
        const telvar::command* c = telvar::find_command(h.word);
        ASSERT_NE(nullptr, c);
        line_of l(h.word, h.line);
        const telvar::checked_line checked = telvar::check_command_line(*c, l.args());
        ASSERT_EQ("", checked.refusal) << h.line;
        telvar::hand_over(*c, checked, l.line);
        EXPECT_EQ(h.left, l.now()) << h.line;
        if (!c->takes_parsed_options) continue;
        for (const auto& [name, value] : h.handed) {
            EXPECT_TRUE(telvar::option_given(name)) << h.line << " " << name;
            EXPECT_EQ(value, telvar::option_value(name) ? telvar::option_value(name) : "") << h.line << " " << name;
        }
        for (const char* other : {"--snapshot", "--all", "--dry-run", "-o", "-s", "--devices"})
            if (std::ranges::none_of(h.handed, [&](const auto& o) { return o.first == other; })) {
                EXPECT_FALSE(telvar::option_given(other)) << h.line << " " << other;
            }
    }
}

using tvtest::exited_with;
using tvtest::on_terminal;

TEST_F(command_line, the_password_is_read_with_echo_off_and_echo_comes_back_on_every_way_out) {
    fab.require_login(true, 0);
    {
        on_terminal t({"port_state", "-port", "0", "-u", "admin", sw1, "16"});
        ASSERT_TRUE(t.wait_for("Password for admin: ")) << t.out;
        EXPECT_FALSE(t.echo());
        t.type("password\n");
        EXPECT_TRUE(exited_with(t.finish(), 0)) << t.out;
        EXPECT_NE(std::string::npos, t.out.find("Port: 16\tAdmin:   on")) << t.out;
        EXPECT_EQ(std::string::npos, t.out.find("password"));  // never echoed
        EXPECT_TRUE(t.echo());
    }
    fab.server().clear_records();
    {
        on_terminal t({"port_state", "-port", "0", "-u", "admin", sw1, "16"});
        ASSERT_TRUE(t.wait_for("Password for admin: ")) << t.out;
        t.type("pass\x03");  // Ctrl-C
        const int status = t.finish();
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
        EXPECT_TRUE(t.echo());
    }
    EXPECT_TRUE(fab.requests().empty());
}

// Read as the login password is (echo off, and back on): only the asking twice is this test's.
TEST_F(command_line, a_new_password_left_out_is_typed_twice) {
    fab.require_login(true, 0);
    const auto password_of = [&](const std::string& id) {
        const auto u = fab.user(0, id);
        return u ? u->password : std::string("(none)");
    };
    {
        on_terminal t({"user_add", "-port", "0", "-u", "admin", "-p", "password", sw1, "carol", "2"});
        ASSERT_TRUE(t.wait_for("New password for carol: ")) << t.out;
        t.type("carolpw\n");
        ASSERT_TRUE(t.wait_for("Retype the new password for carol: ")) << t.out;
        t.type("carolpw\n");
        EXPECT_TRUE(exited_with(t.finish(), 0)) << t.out;
        EXPECT_NE(std::string::npos, t.out.find("SUCCESS")) << t.out;
    }
    EXPECT_EQ("carolpw", password_of("carol"));
    // Two different texts change nothing, and nothing reaches the switch.
    fab.server().clear_records();
    {
        on_terminal t({"passwd", "-port", "0", "-u", "carol", "-p", "carolpw", sw1});
        ASSERT_TRUE(t.wait_for("New password for carol: ")) << t.out;
        t.type("one\n");
        ASSERT_TRUE(t.wait_for("Retype the new password for carol: ")) << t.out;
        t.type("other\n");
        EXPECT_TRUE(exited_with(t.finish(), 1)) << t.out;
        EXPECT_NE(std::string::npos, t.out.find("telvar passwd: the two passwords typed differ; nothing was changed")) << t.out;
    }
    EXPECT_TRUE(fab.requests().empty());
    EXPECT_EQ("carolpw", password_of("carol"));
}

TEST_F(command_line, changes_that_are_hard_to_undo_are_asked_about_on_a_terminal) {
    struct question {
        args line;
        std::string asked;  // empty: nothing is asked
        std::string answer;
        int status;
    };
    const std::vector<question> questions{
        {{"switch_reset", "-port", "0", sw1},
         "Reset the switch 127.0.90.2? It restarts and drops what was not saved. [y/N] ", "n\n", 1},
        {{"port_state", "-port", "0", "-s", "off", sw1, "16"},
         "Port 16 of 127.0.90.2 carries an inter-switch link (T_Port). Set it to off? [y/N] ", "\n", 1},
        {{"port_type", "-port", "0", "-f", "104000", "-s", "fl", sw1, "all"},
         "Set all 16 ports of 104000 through 127.0.90.2 to type fl? [y/N] ", "no\n", 1},
        {{"port_state", "-port", "0", "-s", "off", sw1, "all"}, "Set all 16 ports of 127.0.90.2 to off? [y/N] ", "y\n", 0},
        {{"port_state", "-port", "0", "-s", "on", sw1, "3"}, "", "", 0},  // no link on port 3
        {{"port_state", "-y", "-port", "0", "-s", "on", sw1, "16"}, "", "", 0},
    };
    for (const auto& q : questions) {
        fab.server().clear_records();
        on_terminal t(q.line);
        if (!q.asked.empty()) {
            ASSERT_TRUE(t.wait_for(q.asked)) << t.out;
            t.type(q.answer);
        }
        EXPECT_TRUE(exited_with(t.finish(), q.status)) << t.out;
        EXPECT_EQ(q.status != 0, t.out.find("not confirmed; nothing was changed") != std::string::npos) << t.out;
        EXPECT_EQ(q.asked.empty(), t.out.find("[y/N]") == std::string::npos) << t.out;
        for (const std::uint32_t sub : fab.subcommands()) {  // a refused change only read the ports
            if (q.status != 0) {
                EXPECT_EQ(tv::layout::ports::subcmd::port_types, sub) << q.asked;
            }
        }
    }
    // Only the two accepted changes reached the switch: every port off, then ports 3 and 16 on.
    EXPECT_EQ(1, port_cfg(15).admin);
    EXPECT_EQ(1, port_cfg(2).admin);
    EXPECT_EQ(2, port_cfg(0).admin);
    EXPECT_EQ(1, with([](sim::fabric& f) { return f.switches[0].get<sim::port_state>().active[0].type; }));
}

}  // namespace
