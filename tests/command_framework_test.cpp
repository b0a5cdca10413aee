// The command framework: global flags, the shared option loop, the usage text, the port text,
// print_error and WWN texts. Paths that end the process run as death tests whose child prints
// on standard error. Opening contexts against a switch is covered by the tool's end-to-end
// tests.
#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/command_output.h"
#include "support/saved_globals.h"
#include "support/test_addresses.h"
#include "telvar/framework/option_loop.h"

namespace {

using tvtest::arg_vector;
using ::testing::ExitedWithCode;
using wwn_bytes = std::array<uint8_t, 8>;

const char* const sw_addr = tvtest::addr::framework_switch;

// `text` as a POSIX extended regular expression that matches it literally.
std::string escaped(std::string_view text) {
    std::string re;
    for (const char c : text) {
        if (std::string_view(".[]{}()*+?^$|\\").find(c) != std::string_view::npos) re += '\\';
        re += c;
    }
    return re;
}
std::string exactly(std::string_view text) { return "^" + escaped(text) + "$"; }

// What usage() prints: the version line, "Usage:", 56 more lines (one entry holds two) and the
// example last. A command-line error prints its own message before it.
std::string then_usage(std::string_view message = "") {
    return "^" + escaped(message) +
           escaped("telvar  version 1.0.8.REV.2001.06.21.16.33\nUsage:\n") + "([^\n]*\n){56}" +
           escaped("\tex: telvar version -port 0 -f 040100 10.0.0.1\n") + "$";
}

class framework : public ::testing::Test {
protected:
    tvtest::saved_globals globals_;
    tvtest::captured_output out;
    std::deque<arg_vector> args;
    void SetUp() override { reset(); }
    static void reset() {
        g_remotefcaddr = 0;
        g_udpport = g_userid = g_pw = nullptr;
        g_logincmd = Max_Ports = 0;
        unsetenv("TELVARPORT");
        unsetenv("telvarport");
        errno = 0;
    }
    // Runs the option loop with a command's own options (by default -M <value> and -s);
    // returns the letters seen with their values, and the number of elements left. The vector
    // lives on with the fixture: the flags' values point into it.
    static constexpr std::array<telvar::option_def, 2> m_and_s{{{'M', true}, {'s', false}}};
    std::pair<std::string, int32_t> options(std::initializer_list<const char*> words,
                                            std::span<const telvar::option_def> own = m_and_s) {
        int32_t argc = args.emplace_back(words).argc();
        char** argv = args.back().argv();
        std::string seen;
        telvar::parse_options(argc, argv, own, [&](char letter, const char* value) {
            seen += letter;
            if (value != nullptr) seen += std::string("=") + value;
        });
        return {seen, argc};
    }
};

TEST_F(framework, fc_address_flag_is_hex_and_zero_is_reported_without_newline) {
    for (const auto& [text, expected] : std::vector<std::pair<const char*, uint32_t>>{
             {"040100", 0x040100}, {"0x108000", 0x108000}, {"10800g", 0x10800}, {"zz", 0}}) {
        g_remotefcaddr = 7;
        EXPECT_EQ(std::make_pair(std::string(), 0), options({"cmd", "-f", text})) << text;
        EXPECT_EQ(expected, g_remotefcaddr) << text;
        EXPECT_EQ(expected == 0 ? "Invalid switch address" : "", out.take()) << text;
    }
}

TEST_F(framework, option_loop_tests_own_letters_before_global_flags) {
    EXPECT_EQ(std::make_pair(std::string("M=4s"), 2),
              options({"cmd", "-M", "4", "-save", "-pw", "pw", "-user", "me", "-port", "0",
                       "1.2.3.4", "7"}));
    EXPECT_STREQ("pw", g_pw);
    EXPECT_STREQ("me", g_userid);
    EXPECT_STREQ("0", g_udpport);
    // The command's own -p shadows -port: no value is taken, no port stored.
    g_udpport = nullptr;
    constexpr std::array<telvar::option_def, 1> own_p{{{'p', false}}};
    EXPECT_EQ(std::make_pair(std::string("p"), 1), options({"cmd", "-port", "1.2.3.4"}, own_p));
    EXPECT_EQ(nullptr, g_udpport);
    EXPECT_EQ(std::make_pair(std::string(), 0), options({"cmd"}));
}

// ---- Command-line errors end the process ----

using framework_exits = framework;

TEST_F(framework_exits, usage_errors_print_the_usage_text_and_exit_1) {
    EXPECT_EXIT((fp = stderr, usage()), ExitedWithCode(1), then_usage());
    for (const char* flag : {"-h", "-f", "-port", "-pw", "-u", "-M"})
        EXPECT_EXIT((fp = stderr, options({"cmd", flag})), ExitedWithCode(1), then_usage()) << flag;
    EXPECT_EXIT((fp = stderr, options({"cmd", "-z", "1.2.3.4"})), ExitedWithCode(1),
                then_usage("Unknown option -z\n"));
    EXPECT_EXIT((fp = stderr, options({"cmd", "-", "1.2.3.4"})), ExitedWithCode(1),
                then_usage("Unknown option -\n"));
}

TEST_F(framework_exits, port_text_that_is_neither_a_number_nor_an_allowed_all) {
    g_logincmd = 1;  // nothing is sent: no switch is needed
    Max_Ports = 16;
    const auto open_port = [](std::initializer_list<const char*> words, int32_t allow_all) {
        fp = stderr;
        arg_vector a(words);
        open_ip_port_context(a.argc(), a.argv(), 1, allow_all, nullptr, nullptr);
    };
    EXPECT_EXIT(open_port({sw_addr, "all"}, 0), ExitedWithCode(1), then_usage());
    EXPECT_EXIT(open_port({sw_addr, "x1"}, 1), ExitedWithCode(1), then_usage());
    EXPECT_EXIT(open_port({sw_addr}, 1), ExitedWithCode(1), then_usage());
    EXPECT_EXIT(open_port({}, 1), ExitedWithCode(1), then_usage());
}

TEST_F(framework_exits, wwn_text_of_the_wrong_length_exits_0) {
    const auto parse = [](const char* text) {
        fp = stderr;
        wwn_bytes wwn{};
        ascii_to_wwn(wwn.data(), text);
    };
    EXPECT_EXIT(parse("200000c0dd00caf"), ExitedWithCode(0),
                exactly("Invalid WWN string length: 15, for 200000c0dd00caf\n"));
}

// ---- WWN texts and status codes ----

TEST_F(framework, wwn_text_is_read_two_hex_digits_per_byte) {
    wwn_bytes wwn{};
    EXPECT_EQ(8, ascii_to_wwn(wwn.data(), "200000c0dd00CAFE"));
    EXPECT_EQ((wwn_bytes{0x20, 0, 0, 0xc0, 0xdd, 0, 0xca, 0xfe}), wwn);
    // Reading a pair stops at its first character that is not a hex digit.
    EXPECT_EQ(8, ascii_to_wwn(wwn.data(), "zz3z-1 ff0x12345"));
    EXPECT_EQ((wwn_bytes{0, 3, 0, 0, 0xf0, 0, 0x23, 0x45}), wwn);
}

// The texts of the status codes, known and unknown, and of a system error are in the tool's
// end-to-end tests (exit_status_test, telvar_cli_test, fault_schedule_test, maintenance_cli_test).
TEST_F(framework, print_error_prints_the_status_message_unless_errno_names_a_system_error) {
    errno = ENOENT;
    print_error(106);
    EXPECT_EQ("Error: No such file or directory\n", out.take());
    EXPECT_EQ(ENOENT, errno);
    errno = 100000;  // no system error
    print_error(106);
    EXPECT_EQ("Error: No response received\n", out.take());
}

}  // namespace
