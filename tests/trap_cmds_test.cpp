// The trap commands of the tool: their displays, and the real binary against a fabric of the
// simulator running in this process: listening beside a trap test, stopping on a key of a
// pseudo-terminal, on an interrupt and on the time limit, and never leaving a registration.
#include <gtest/gtest.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <regex>
#include <thread>

#include "proto/traps/decode.h"
#include "support/command_output.h"
#include "support/run_tool.h"
#include "support/terminal.h"
#include "support/test_addresses.h"
#include "support/tool_test.h"
#include "switchsim/families/traps_family.h"
#include "telvar/displays/trap_display.h"

namespace {

const std::string sw1 = tvtest::addr::trap_tool_base;  // 127.0.52.2; sw3 is .4
const std::string sw3 = "127.0.52.4";
const std::string config_header =
    "Trap  Trap         Thresholds     Trap       \n"
    "Code  Status    Rising   Falling  Description\n"
    "----  --------  -------  -------  --------------------------------------------\n";
const std::string stamp = "[A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} ";

TEST(trap_displays, event_lines_and_an_empty_configuration) {
    tvtest::captured_output out;
    tv_trap_config_list list{0, nullptr};
    show_trap_configs(&list);
    EXPECT_EQ("No trap configuration data to print\n", out.take());

    const std::time_t when = 1700000000;
    char text[32];
    const std::string ts = std::string(ctime_r(&when, text) + 4).substr(0, 16);
    EXPECT_EQ(ts + "  12   104000  port  3  rising   000000025  000000025\n",
              telvar::trap_event_line({0x104000, 3, 12, 0, 25, 25}, when));
    // The ASIC's number does not fit the column; an alert type without a name prints nothing.
    EXPECT_EQ(ts + "  30   10c000  asic     falling  000000001  -000000002\n",
              telvar::trap_event_line({0x10C000, 1, 30, 1, 1, -2}, when));
    EXPECT_EQ(ts + "  02   000000                    000000000  -000000001\n",
              telvar::trap_event_line({0, 9, 2, 7, 0, -1}, when));
}

class trap_tool : public tvtest::tool_test {
protected:
    trap_tool() : tool_test(tvtest::addr::trap_tool_base, tvtest::local_port::as_given) {}

    template <class F>
    auto traps(std::size_t sw, F&& f) {
        return fab.on_switch(sw, [&](sim::switch_state& s) { return f(s.get<sim::trap_state>()); });
    }
    std::size_t listeners() { return traps(0, [](sim::trap_state& t) { return t.listeners.size(); }); }
    // Waits, bounded, until sw1 has a listener: the tool has registered.
    bool registered() {
        for (int i = 0; i < 1000 && listeners() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return listeners() == 1;
    }
    static std::string table_of(const std::string& events) {
        return "listening at: 127\\.[0-9.]+:[0-9]+\n\n" + std::string(telvar::trap_event_header) + events + "stopped\n";
    }
};

// The switch's trap is printed; the test alert that trap_test sends from the tool's own host,
// without a message header, is no trap from the switch and is only counted on standard error.
TEST_F(trap_tool, listen_beside_a_trap_test_prints_the_switchs_trap_then_stopped) {
    // Standard input closed: no key can be read, the time limit ends it.
    tvtest::child_tool listen{TELVAR_BIN, {"trap_listen", "-port", "0", "-t", "3", sw1}, {}, true};
    ASSERT_TRUE(registered());
    EXPECT_EQ("message sent\n", telvar({"trap_test", "-port", "0", sw1, "11", "25"}).out);
    const auto r = listen.finish(20);
    EXPECT_EQ(0, r.status);
    EXPECT_TRUE(std::regex_match(r.out, std::regex(table_of(
                    stamp + "  11   104000  port  1  rising   000000025  000000025\n"))))
        << r.out;
    EXPECT_EQ("1 datagram dropped: not a trap message from the switch\n", r.err);
    EXPECT_EQ(0u, listeners());
}

TEST_F(trap_tool, an_interrupt_stops_listening_and_unregisters) {
    tvtest::child_tool listen{TELVAR_BIN, {"trap_listen", "-port", "0", sw1}};
    ASSERT_TRUE(registered());
    ::kill(listen.pid(), SIGINT);
    const auto r = listen.finish(20);
    EXPECT_EQ(0, r.status);
    EXPECT_TRUE(std::regex_match(r.out, std::regex(table_of("")))) << r.out;
    EXPECT_EQ(0u, listeners());
}

TEST_F(trap_tool, a_key_on_the_terminal_stops_listening_and_the_mode_is_restored) {
    tvtest::on_terminal t({"trap_listen", "-port", "0", sw1});
    ASSERT_TRUE(registered());
    t.type("q");
    EXPECT_TRUE(t.wait_for("stopped\r\n")) << t.out;
    EXPECT_TRUE(tvtest::exited_with(t.finish(), 0)) << t.out;
    EXPECT_TRUE(t.canonical());
    EXPECT_EQ(0u, listeners());
}

// Standard input a terminal that is not the process's controlling terminal (the listener was
// started with its input redirected from another terminal): a key there ends listening too.
TEST_F(trap_tool, a_key_on_a_terminal_that_is_not_the_controlling_one_stops_listening) {
    int terminal = -1, other_end = -1;
    ASSERT_EQ(0, ::openpty(&terminal, &other_end, nullptr, nullptr, nullptr));
    tvtest::child_tool listen{TELVAR_BIN, {"trap_listen", "-port", "0", sw1}, {}, false, other_end};
    ::close(other_end);
    ASSERT_TRUE(registered());
    ASSERT_EQ(1, ::write(terminal, "q", 1));
    const auto r = listen.finish(10);  // killed, and so failing, when the key is never seen
    EXPECT_EQ(0, r.status) << r.out << r.err;
    EXPECT_NE(std::string::npos, r.out.find("stopped\n")) << r.out;
    termios mode{};
    ASSERT_EQ(0, ::tcgetattr(terminal, &mode));
    EXPECT_TRUE(mode.c_lflag & ICANON);
    ::close(terminal);
    EXPECT_EQ(0u, listeners());
}

TEST_F(trap_tool, configuration_commands_show_change_and_save) {
    // sw3: trapping off, interval 10000, code 11 enabled with 10 and 2.
    auto r = telvar({"get_trap_config", "-port", "0", sw3});
    EXPECT_EQ(0, r.status);
    const auto lines = tvtest::lines_of(r.out);
    ASSERT_EQ(37u, lines.size()) << r.out;
    const std::string head = "Trapping: disabled\nSample Interval: 10000 ms\n" + config_header;
    EXPECT_EQ(head, r.out.substr(0, head.size()));
    EXPECT_EQ("11    enabled   10       2        Fibre Port CRC Error                        ", lines[16]);
    EXPECT_EQ("23    disabled  0        0        From fcFPortAddressIdErrors: assigned 12-05-", lines[28]);

    const auto code5 = [&] {
        return traps(2, [](sim::trap_state& t) {
            return std::pair{tv::decode_trap_config(t.active, 5), tv::decode_trap_config(t.saved, 5)};
        });
    };
    // The change is active and saved (the enable words and the refusals: command_line_test).
    EXPECT_EQ("SUCCESS\n", telvar({"set_trap_config", "-port", "0", sw3, "5", "on", "7", "-3"}).out);
    const auto [active, saved] = code5();
    EXPECT_EQ(1, active.status);
    EXPECT_EQ(7, saved.rising);
    EXPECT_EQ(-3, saved.falling);

    EXPECT_EQ("SUCCESS\n", telvar({"set_trapping", "-port", "0", "-t", "enabled", "-i", "2500", sw3}).out);
    const auto trapping = traps(2, [](sim::trap_state& t) { return tv::decode_trapping(t.saved); });
    EXPECT_EQ(1, trapping.enabled);
    EXPECT_EQ(2500, trapping.interval);
}

}  // namespace
