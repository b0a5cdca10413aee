// What the tool does when it is given nothing beyond the command: discovery with probes in
// flight, the local port when 5001 is held by someone else, and what -q and -v change on
// standard error. The tool runs as a child process against a fabric whose three switches are
// spread through 127.0.172.0/24, with a socket that swallows every probe beside them.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <string_view>

#include "support/test_addresses.h"
#include "support/tool_test.h"
#include "telvar/cli/command_table.h"
#include "tv_api/tv_inter.h"

namespace {

using tvtest::args;

const std::string sw1 = tvtest::addr::tool_defaults_base;  // 127.0.172.2
const char* const sw2 = "127.0.172.5";
const char* const sw3 = "127.0.172.11";
const char* const sink = "127.0.172.7";  // takes probes, answers none

// A UDP socket bound to an address and port, held for the life of the object.
class held_port {
public:
    held_port(std::uint32_t addr, std::uint16_t port) : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = addr;
        a.sin_port = htons(port);
        bound_ = fd_ >= 0 && ::bind(fd_, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    }
    ~held_port() {
        if (fd_ >= 0) ::close(fd_);
    }
    held_port(const held_port&) = delete;
    held_port& operator=(const held_port&) = delete;
    bool bound() const { return bound_; }

private:
    int fd_;
    bool bound_ = false;
};

sim::fabric spread_fabric() {
    sim::fabric f = sim::default_fabric(inet_addr(sw1.c_str()));
    f.switches[1].ip = inet_addr(sw2);
    f.switches[2].ip = inet_addr(sw3);
    return f;
}

class tool_defaults : public tvtest::tool_test {
protected:
    tool_defaults() : tool_test(spread_fabric(), tvtest::local_port::as_given) {}
    void SetUp() override {
        ASSERT_TRUE(sink_.bound());
        // The tests of the default port must not take it from the environment they run in.
        ::unsetenv("TELVARPORT");
        ::unsetenv("telvarport");
    }
    held_port sink_{inet_addr(sink), TV_SWITCH_UDP_PORT};
};

// No command's own option may be one of the dispatcher's letters: the dispatcher takes -q, -v
// and -y off the line before the command's option loop, which knows an option by its second
// character only.
TEST(dispatcher_letters, no_command_has_an_option_of_the_dispatchers_letters) {
    for (const telvar::command& c : telvar::commands()) {
        std::string_view options = c.args.options;
        for (std::size_t at = options.find('-'); at != std::string_view::npos; at = options.find('-', at + 1)) {
            if (at + 1 >= options.size() || (at > 0 && options[at - 1] != ' ')) continue;
            EXPECT_EQ(std::string_view::npos, std::string_view("qvy").find(options[at + 1]))
                << c.word << " has an option -" << options[at + 1];
        }
    }
}

TEST_F(tool_defaults, discovery_by_default_reports_what_the_sequential_one_reports_in_its_order) {
    const std::string spread = sw1 + "\n" + sw2 + "\n" + sw3 + "\n";
    struct range_case {
        args range;         // after the command word and the options
        std::string found;  // what both print
    };
    const range_case cases[] = {
        // (Counts from a base, and windows over them: discovery_test.)
        {{"127.0.172.1", "14"}, spread},
        // 127.0.172.0 - 127.0.172.15, the last not probed.
        {{"-m", "255.255.255.240", "127.0.172.9"}, spread},
        // 127.0.172.8 - 127.0.172.11: the last, a switch, not probed.
        {{"-m", "255.255.255.252", "127.0.172.9"}, "No switch answered\n"},
    };
    for (const auto& c : cases) {
        args sequential{"discover", "--sequential"}, by_default{"discover"}, two{"discover", "-j", "2"};
        for (args* a : {&sequential, &by_default, &two}) a->insert(a->end(), c.range.begin(), c.range.end());
        const auto one_by_one = telvar(sequential);
        EXPECT_EQ(0, one_by_one.status) << c.range.back();
        EXPECT_EQ(c.found, one_by_one.out) << c.range.back();
        for (const args& a : {by_default, two}) {
            const auto r = telvar(a);
            EXPECT_EQ(0, r.status) << c.range.back();
            EXPECT_EQ(one_by_one.out, r.out) << a[1] << " " << c.range.back();
            EXPECT_EQ("", r.err) << "no progress when standard error is not a terminal";
        }
    }
    // Probes in flight and one by one do not go together.
    const auto r = telvar({"discover", "-j", "4", "--sequential", "127.0.172.1", "3"});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ(0u, r.err.find("telvar: discover: -j and --sequential do not go together\n"));
}

TEST_F(tool_defaults, a_taken_default_port_gives_way_to_one_the_system_chooses) {
    if (std::getenv("TELVAR_OWN_NETNS") == nullptr)
        GTEST_SKIP() << "holds port 5001, which a demo on this machine may use: runs in a network namespace of its own only";
    const std::uint32_t remote = inet_addr(sw1.c_str());
    const held_port taken(tv_get_local_ipaddr(&remote), 5001);
    ASSERT_TRUE(taken.bound());

    const std::string version = ok({"version", "-port", "0", sw1});
    auto r = telvar({"version", sw1});
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_EQ(version, r.out);
    EXPECT_EQ("", r.err);

    // -v says why the port moved and which one it is, on standard error only; the last of -q and
    // -v counts, and either may stand before the command word.
    for (const args& a : {args{"version", "-v", sw1}, args{"-v", "version", sw1}, args{"version", "-q", "-v", sw1}}) {
        r = telvar(a);
        EXPECT_EQ(0, r.status) << r.err;
        EXPECT_EQ(version, r.out);
        EXPECT_EQ(0u, r.err.find("telvar: local UDP port 5001 is in use (another telvar, or a trap_listen still "
                                 "running); the system chooses one instead\n"
                                 "telvar: switch 127.0.172.2, FC address fffffd, from local UDP port "))
            << r.err;
        EXPECT_EQ(std::string::npos, r.err.find("port 5001\n")) << r.err;
    }
    // A port that was asked for is the user's: it is not moved.
    r = telvar({"version", "-v", "-port", "0", "-f", "108000", sw1});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(0u, r.err.find("telvar: switch 127.0.172.2, FC address 108000, from local UDP port ")) << r.err;
}

TEST_F(tool_defaults, quiet_leaves_out_the_hints_and_keeps_the_reports_and_errors) {
    fab.require_login(true, 1);
    const auto hinted = telvar({"chassis_status", "-port", "0", sw2});
    EXPECT_EQ(2, hinted.status);
    EXPECT_EQ("telvar: the switch requires a login: give -u <user> -p <password> before the ip-address, "
              "or an entry in the credentials file\n",
              hinted.err);
    // Like every option, -q may also follow the address.
    for (const args& a : {args{"chassis_status", "-q", "-port", "0", sw2}, args{"-q", "chassis_status", "-port", "0", sw2},
                          args{"chassis_status", "-v", "-q", "-port", "0", sw2}, args{"chassis_status", "-port", "0", sw2, "-q"}}) {
        const auto r = telvar(a);
        EXPECT_EQ(2, r.status);
        EXPECT_EQ(hinted.out, r.out);
        EXPECT_EQ("", r.err);
    }
}

}  // namespace
