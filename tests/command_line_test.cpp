// The tool's command lines against a fabric of the simulator: every refused line exits 1 with a
// one-line reason on standard error and the usage text, before anything reaches a switch; the
// questions the tool asks on a terminal (a password, a confirmation), through a pseudo-terminal.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "proto/ports/layout.h"
#include "support/command_output.h"
#include "support/run_tool.h"
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
        return on_switch(0, [&](sim::switch_state& s) { return s.get<sim::port_state>().active[port]; });
    }
    void require_login() {
        on_switch(0, [](sim::switch_state& s) { s.get<sim::login_state>().login_required = true; });
    }
};

TEST_F(command_line, mistakes_are_refused_with_a_reason_before_anything_is_sent) {
    struct mistake {
        args line;
        std::string reason;  // the start of the line on standard error
        std::vector<std::string> env{};
    };
    const std::vector<mistake> mistakes{
        {{"version", "-port", "0", "-f", "zz", sw1}, "version: -f: 'zz' is not the FC address of a switch"},
        {{"version", "-port", "0", "-f", "0x1000000", sw1}, "version: -f: '0x1000000'"},
        {{"version", "-port", "70000", sw1}, "version: -port: '70000' is not a UDP port (0 to 65535)"},
        {{"-port", "5x", "version", sw1}, "version: -port: '5x'"},
        {{"version", sw1}, "version: TELVARPORT: 'many'", {"TELVARPORT=many"}},
        {{"version", "-port", "0", "999.1.1.1"}, "version: '999.1.1.1' is not an IPv4 address"},
        {{"version", "-port", "0", "127.0.70"}, "version: '127.0.70' is not"},
        {{"version", "-port", "0", "no-such-switch.invalid"}, "version: 'no-such-switch.invalid' is not"},
        {{"version", "-port", "0", sw1, "extra"}, "version: unexpected argument 'extra'"},
        {{"version", "-port", "0", "-x", sw1}, "version: unknown option -x"},
        {{"version", "-port", "0"}, "version: missing <ip>"},
        {{"port_state", "-port", "0", sw1, "3x"}, "port_state: '3x' is not a port number (1 and up) or all"},
        {{"port_state", "-port", "0", sw1, "-1"}, "port_state: '-1' is not a port number"},
        {{"port_state", "-port", "0", sw1, "0"}, "port_state: '0' is not a port number"},
        {{"port_state", "-port", "0", "-s", "maybe", sw1, "1"}, "port_state: -s: 'maybe' is not on or off"},
        {{"port_type", "-port", "0", "-s"}, "port_type: -s needs a value"},
        {{"get_zone", "-port", "0", sw1, "fc", "1"}, "get_zone: 'fc' is not hd, ns, bcst, sl or a number"},
        {{"set_zone", "-port", "0", sw1, "hd", "1", "2", "5-x"}, "set_zone: '5-x' is not a port number or a range"},
        {{"set_wwn_zone", "-port", "0", sw1, "12", "200000c0dd00caf"}, "set_wwn_zone: '200000c0dd00caf' is not a WWN"},
        {{"chassis_tovs", "-port", "0", "-e", "25O0", sw1}, "chassis_tovs: -e: '25O0' is not a number"},
        {{"trap_listen", "-port", "0", "-t", "soon", sw1}, "trap_listen: -t: 'soon' is not a number of seconds"},
        {{"set_trap_config", "-port", "0", sw1, "5", "on", "1"}, "set_trap_config: missing <int>"},
        {{"zone_lint", "-port", "0", "--snapshot"}, "zone_lint: --snapshot needs a value"},
        {{"zone_lint", "-port", "0", sw1, "--snapshot", "a.json"}, "zone_lint: unexpected argument '" + sw1 + "'"},
        {{"locate", "-port", "0", "200000c0dd00cafe"}, "locate: '200000c0dd00cafe' is not an IPv4 address (dotted, no leading zeros) "
                                                       "or a host name that resolves, and no --snapshot was given"},
        {{"locate", "-port", "0", "--snapshot", "a.json"}, "locate: missing <word>"},
        {{"map", "-port", "0", "-o"}, "map: -o needs a value"},
        // Standard input is no terminal here, and the environment has no password.
        {{"port_state", "-port", "0", "-u", "admin", sw1, "1"}, "port_state: -u needs a password"},
    };
    const std::string text = tvtest::usage_text();
    for (const auto& m : mistakes) {
        const auto r = telvar(m.line, m.env);
        EXPECT_EQ(1, r.status) << m.reason;
        EXPECT_EQ(0u, r.err.find("telvar: " + m.reason)) << r.err;
        EXPECT_EQ(r.err.size() - 1, r.err.find('\n')) << r.err;  // one line
        EXPECT_EQ(text, r.out) << m.reason;
    }
    EXPECT_TRUE(fab.requests().empty());
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
    EXPECT_EQ(0, telvar({"port_state", "-y", "-port", "0", sw1, "1"}).status);

    require_login();
    r = telvar({"port_state", "-port", "0", "-u", "admin", sw1, "16"}, {"TELVAR_PASSWORD=password"});
    EXPECT_EQ("Port: 16\tAdmin:  off, Operational:  off\n", r.out);

    r = telvar({"version", "-port", "0", "-h", "999.1.1.1"});  // help asked for is no error
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(Usage[4], r.out);
    r = telvar({"--version"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(std::string("telvar version ") + tv_api_version() + "\n", r.out);
    r = telvar({"verison", sw1});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("telvar: unknown command 'verison'; did you mean 'version'?\n", r.err);
    EXPECT_EQ("telvar: unknown command 'zzz'\n", telvar({"zzz", sw1}).err);
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
            if (std::ranges::none_of(h.handed, [&](const auto& o) { return o.first == other; }))
                EXPECT_FALSE(telvar::option_given(other)) << h.line << " " << other;
    }
}

// Every command word runs its sample against the fabric, as text and as JSON where it has a
// JSON form, and ends with one of the tool's statuses: no crash, no hang, no sanitizer report.
TEST_F(command_line, every_command_word_runs_its_sample_to_a_defined_end) {
    for (const auto& c : telvar::commands()) {
        const line_of sample(c.word, c.sample);
        for (const bool json : {false, true}) {
            if (json && c.json == nullptr) continue;
            args a{"-port", "0"};
            if (json) a.insert(a.begin(), "--json");
            const auto words = sample.now();
            a.insert(a.end(), words.begin(), words.end());
            const auto r = telvar(a);
            EXPECT_TRUE(r.status >= 0 && r.status <= 3) << c.word << (json ? " --json: " : ": ") << r.status << "\n" << r.err;
            EXPECT_EQ(std::string::npos, r.err.find("Sanitizer")) << c.word << r.err;
            EXPECT_EQ(std::string::npos, r.err.find("runtime error")) << c.word << r.err;
            if (!json || r.out.empty()) continue;
            const auto doc = nlohmann::json::parse(r.out, nullptr, false);
            EXPECT_TRUE(doc.is_object()) << c.word << " --json: " << r.out;
            if (!c.returns_exit_status) EXPECT_TRUE(doc.contains("status")) << c.word << " --json: " << r.out;
        }
    }
}

// The tool on a pseudo-terminal: what it prints, what is typed, how it ends.
class on_terminal {
public:
    explicit on_terminal(const args& a) {
        pid_ = ::forkpty(&fd_, nullptr, nullptr, nullptr);
        if (pid_ != 0) return;
        std::vector<char*> argv{const_cast<char*>(TELVAR_BIN)};
        for (const auto& s : a) argv.push_back(const_cast<char*>(s.c_str()));
        argv.push_back(nullptr);
        ::execv(TELVAR_BIN, argv.data());
        ::_exit(127);
    }
    ~on_terminal() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) ::close(fd_);
    }
    on_terminal(const on_terminal&) = delete;
    on_terminal& operator=(const on_terminal&) = delete;

    // Reads what the tool prints until `text` has appeared (true), the tool ends or 10 s pass.
    bool wait_for(const std::string& text) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (out.find(text) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char buf[512];
            const ssize_t n = ::read(fd_, buf, sizeof buf);
            if (n <= 0) break;  // the tool ended: the terminal hangs up
            out.append(buf, static_cast<std::size_t>(n));
        }
        return out.find(text) != std::string::npos;
    }
    void type(const std::string& keys) { ASSERT_EQ(static_cast<ssize_t>(keys.size()), ::write(fd_, keys.data(), keys.size())); }
    bool echo() const {
        termios mode{};
        return ::tcgetattr(fd_, &mode) == 0 && (mode.c_lflag & ECHO) != 0;
    }
    // Reads to the end; the wait status.
    int finish() {
        wait_for("\x01 printed by nothing");
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return status;
    }

    std::string out;

private:
    pid_t pid_ = -1;
    int fd_ = -1;
};

bool exited_with(int status, int code) { return WIFEXITED(status) && WEXITSTATUS(status) == code; }

TEST_F(command_line, the_password_is_read_with_echo_off_and_echo_comes_back_on_every_way_out) {
    require_login();
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

TEST_F(command_line, a_new_password_left_out_is_typed_twice_with_echo_off) {
    require_login();
    const auto password_of = [&](const std::string& id) {
        return on_switch(0, [&](sim::switch_state& s) {
            const sim::user* u = s.get<sim::login_state>().find_user(id);
            return u != nullptr ? u->password : std::string("(none)");
        });
    };
    {
        on_terminal t({"user_add", "-port", "0", "-u", "admin", "-p", "password", sw1, "carol", "2"});
        ASSERT_TRUE(t.wait_for("New password for carol: ")) << t.out;
        EXPECT_FALSE(t.echo());
        t.type("carolpw\n");
        ASSERT_TRUE(t.wait_for("Retype the new password for carol: ")) << t.out;
        t.type("carolpw\n");
        EXPECT_TRUE(exited_with(t.finish(), 0)) << t.out;
        EXPECT_NE(std::string::npos, t.out.find("SUCCESS")) << t.out;
        EXPECT_EQ(std::string::npos, t.out.find("carolpw"));  // never echoed
        EXPECT_TRUE(t.echo());
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
