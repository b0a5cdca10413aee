// The Wireshark dissector, run by tshark over what the simulator captured of a library run:
// command and sub-command names, requests paired with their answers, a trap message, the reset
// message and a planted bad checksum; and over datagrams the simulator never sends, written
// into a capture here: a test alert to a listener's port, a short datagram, a lying length
// field, a refused request. Skipped where tshark is not installed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "support/run_tool.h"
#include "support/saved_globals.h"
#include "support/sim_fixture.h"
#include "support/test_addresses.h"
#include "switchsim/core/capture.h"

namespace {

namespace fs = std::filesystem;

class dissector : public ::testing::Test {
protected:
    void SetUp() override {
        if (sh("command -v tshark", {}).status != 0) GTEST_SKIP() << "tshark is not installed";
        fs::create_directories(dir_);
        fs::permissions(dir_, static_cast<fs::perms>(0755));
        // tshark runs Lua scripts as root only where its global init.lua allows it
        // (run_user_scripts_when_superuser, true in Debian's); elsewhere it runs as nobody.
        if (::geteuid() == 0 && !lua_loads()) {
            tshark_ = "setpriv --reuid=nobody --regid=nogroup --clear-groups tshark";
            ASSERT_TRUE(lua_loads()) << "tshark loads the dissector neither as root nor as nobody";
        }
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }

    // One line per frame of the capture, decoded in two passes: the fields asked for,
    // separated by '|' (the "telvar." prefix is implied).
    std::vector<std::string> decode(const std::string& capture, const std::vector<std::string>& fields) {
        ::chmod(capture.c_str(), 0644);
        std::vector<std::string> args{"-n", "-2", "-r", capture, "-T", "fields", "-E", "separator=|"};
        for (const auto& f : fields) args.insert(args.end(), {"-e", f[0] == '_' ? f : "telvar." + f});
        const tvtest::tool_result r = tshark(args);
        EXPECT_EQ(0, r.status) << r.err;
        return tvtest::lines_of(r.out);
    }

    const fs::path dir_ = fs::temp_directory_path() / ("dissector_test." + std::to_string(::getpid()));

private:
    static tvtest::tool_result sh(const std::string& command, std::vector<std::string> args) {
        args.insert(args.begin(), {"-c", command + " \"$@\"", "sh"});
        return tvtest::run_tool("/bin/sh", args);
    }
    tvtest::tool_result tshark(std::vector<std::string> args) const {
        const std::vector<std::string> lua{"-X", "lua_script:" TELVAR_DISSECTOR,
                                           "-X", "lua_script1:" TELVAR_DISSECTOR_NAMES};
        args.insert(args[0] == "-G" ? args.begin() + 2 : args.begin(), lua.begin(), lua.end());
        return sh("WIRESHARK_CONFIG_DIR=" + dir_.string() + " exec " + tshark_, args);
    }
    bool lua_loads() const { return tshark({"-G", "protocols"}).out.find("\ttelvar\n") != std::string::npos; }

    std::string tshark_ = "tshark";
};

TEST_F(dissector, names_pairs_and_checks_a_simulator_run) {
    const std::string capture = dir_ / "run.pcap";
    {
        sim::server_options o = tvtest::with_faults({"corrupt,cmd=0x12,count=1"});
        o.capture_path = capture;
        tvtest::running_fabric fab(tvtest::addr::dissector_base, o);
        const tvtest::saved_globals saved;
        tv_set_strict_answers(1);
        tv_context* ctx = tv_open(tvtest::addr::dissector_base);
        ASSERT_NE(nullptr, ctx);
        tv_version_info v{};
        tv_chassis_status cs{};
        EXPECT_EQ(0, tv_get_version(ctx, &v));
        EXPECT_EQ(0, tv_get_chassis_status(ctx, &cs));  // reads past the bad answer, asks again
        tv_set_dest_addr(ctx, 0x10c000);                 // the third switch, through the first
        EXPECT_EQ(16, tv_get_num_of_ports(ctx));
        tv_restore_dest_addr(ctx);
        tv_trap_listener* l = tv_trap_createlistener(ctx);
        const tv_trap_counter up{11, 1, 0, 25};  // crosses code 11's rising threshold
        EXPECT_EQ(0, tv_set_trap_counter(ctx, &up));
        tv_trap_event e{};
        EXPECT_EQ(0, tv_trap_listen(l, 1000, &e));
        tv_trap_release_listener(ctx, l);
        EXPECT_EQ(0, tv_switch_reset(ctx));
        tv_close(ctx);
    }  // the simulator has stopped: the capture is complete

    std::vector<std::string> rows = decode(capture, {"kind", "command.name", "subcmd.name",
        "dest.chassis", "request_in", "response_in", "resend_of", "checksum.status",
        "trap.code", "trap.alert", "trap.source", "time"});
    // Every answer paired with a request has a delay; the rest of the line is compared whole.
    for (auto& r : rows) {
        const std::size_t last = r.rfind('|');
        if (r.starts_with("answer|")) {
            EXPECT_GE(std::stod(r.substr(last + 1)), 0.0) << r;
        }
        r.erase(last);
    }
    // The bad answer (4) settles nothing: the request goes again (5), the next answer is its.
    EXPECT_EQ((std::vector<std::string>{
                  "request|version||63||2||1|||",
                  "answer|version||63|1|||1|||",
                  "request|chassis status||63||6||1|||",
                  "answer|chassis status||63|3|||0|||",
                  "request|chassis status||63|||3|1|||",
                  "answer|chassis status||63|3|||1|||",
                  "request|version||63||8||1|||",
                  "answer|version||63|7|||1|||",
                  "request|configuration|sensors|63||10||1|||",
                  "answer|configuration|sensors|63|9|||1|||",
                  "request|configuration|port types|3||12||1|||",
                  "answer|configuration|port types|3|11|||1|||",
                  "request|trap|set trap listener|63||14||1|||",
                  "answer|trap|set trap listener|63|13|||1|||",
                  "request|trap|set trap counter|63||16||1|||",
                  "answer|trap|set trap counter|63|15|||1|||",
                  "trap|trap||1||||1|11|0|0x104000",
                  "request|trap|trap listeners|63||19||1|||",
                  "answer|trap|trap listeners|63|18|||1|||",
                  "request|trap|set trap listener|63||21||1|||",
                  "answer|trap|set trap listener|63|20|||1|||",
                  "reset|switch reset||63||||1|||",
              }),
              rows);
    EXPECT_NE(std::string::npos, decode(capture, {"_ws.expert.message"}).at(3).find("Bad checksum"));
}

// A message of `len` bytes with a header (its length field as given) and its checksum.
std::vector<std::uint8_t> message(std::size_t len, std::uint16_t command, std::uint32_t seq,
                                  std::uint8_t status, std::uint16_t length_field) {
    std::vector<std::uint8_t> m(len);
    tv::encode_header(m, {1, 4, 0, status, TV_DEFAULT_DEST, command, length_field, seq});
    tv::set_checksum(m);
    return m;
}

sockaddr_in endpoint(const char* ip, std::uint16_t port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = inet_addr(ip);
    a.sin_port = htons(port);
    return a;
}

TEST_F(dissector, flags_what_the_simulator_never_sends) {
    const std::string capture = dir_ / "odd.pcap";
    const sockaddr_in manager = endpoint("127.0.80.9", 40000), listener = endpoint("127.0.80.9", 40001),
                      sw = endpoint(tvtest::addr::dissector_base, TV_SWITCH_UDP_PORT);
    {
        sim::pcap_writer w;
        ASSERT_TRUE(w.open(capture));
        std::vector<std::uint8_t> alert(48);  // no header: unit 1, the test code, falling
        alert[20] = 1;
        alert[21] = TV_TRAP_TEST_CODE;
        alert[22] = TV_TRAP_FALLING;
        tv::set_checksum(alert);
        w.write(manager, listener, alert);
        w.write(manager, sw, std::vector<std::uint8_t>(10, 0x11));
        w.write(manager, sw, message(24, TV_CMD_VERSION, 7, 0, 4));
        w.write(manager, sw, message(20, TV_CMD_VERSION, 8, 0, 4));
        w.write(sw, manager, message(20, TV_CMD_VERSION, 8, TV_HDR_STATUS_LOGIN, 4));
    }
    EXPECT_EQ((std::vector<std::string>{
                  "test alert|99|1||",
                  "||||Datagram too short for a message",
                  "request||||Length field 4 in a datagram of 24 bytes",
                  "request||||",
                  "answer|||4|Refused, status 0x0e: Command requires user login, status code 202",
              }),
              decode(capture, {"kind", "trap.code", "trap.alert", "request_in", "_ws.expert.message"}));
}

}  // namespace
