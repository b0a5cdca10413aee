// The Wireshark dissector, run by tshark over what the simulator captured of a library run:
// command and sub-command names, requests paired with their answers, a trap message, the reset
// message and a planted bad checksum; and over datagrams the simulator never sends, written
// into a capture here: a test alert to a listener's port, a short datagram, a lying length
// field, a refused request. Skipped where tshark is not installed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "capture.h"
#include "support/run_tool.h"
#include "support/sim_fixture.h"
#include "support/test_addresses.h"

namespace {

namespace fs = std::filesystem;
using row = std::map<std::string, std::string>;

const std::vector<std::string> columns{
    "frame.number",  "telvar.kind",        "telvar.command.name",   "telvar.subcmd.name",
    "telvar.seq",    "telvar.request_in",  "telvar.response_in",    "telvar.time",
    "telvar.resend_of", "telvar.checksum.status", "telvar.dest.chassis", "telvar.status.code",
    "telvar.trap.code", "telvar.trap.alert", "telvar.trap.source", "_ws.expert.message"};

std::string on_path(const std::string& name) {
    std::stringstream dirs(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin");
    for (std::string dir; std::getline(dirs, dir, ':');)
        if (::access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
    return {};
}

class dissector : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string tshark = on_path("tshark");
        if (tshark.empty()) GTEST_SKIP() << "tshark is not installed (scripts/deps.sh test installs it)";
        dir_ = fs::temp_directory_path() / ("dissector_test." + std::to_string(::getpid()));
        fs::create_directories(dir_);
        fs::permissions(dir_, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
        tshark_ = {tshark};
        // tshark runs Lua scripts as root only where its global init.lua allows it
        // (run_user_scripts_when_superuser, true in Debian's); elsewhere it runs as nobody.
        if (::geteuid() == 0 && !lua_loads()) {
            tshark_ = {on_path("setpriv"), "--reuid=nobody", "--regid=nogroup", "--clear-groups", tshark};
            ASSERT_TRUE(lua_loads()) << "tshark loads the dissector neither as root nor as nobody";
        }
    }
    void TearDown() override {
        std::error_code ignored;
        if (!dir_.empty() && !std::getenv("KEEP")) fs::remove_all(dir_, ignored);
    }

    // The path of a file of the test's own, readable by whoever runs tshark.
    std::string file(const char* name) const { return (dir_ / name).string(); }

    // Each frame of a capture as `tshark -T fields` decodes it with the dissector, two passes.
    std::vector<row> decode(const std::string& capture) {
        ::chmod(capture.c_str(), 0644);
        std::vector<std::string> args{"-n", "-2", "-r", capture, "-T", "fields", "-E", "separator=|"};
        for (const auto& c : columns) args.insert(args.end(), {"-e", c});
        const tvtest::tool_result r = run(args);
        EXPECT_EQ(0, r.status) << r.err;
        std::vector<row> rows;
        std::stringstream lines(r.out);
        for (std::string line; std::getline(lines, line);) {
            row fields;
            std::stringstream cells(line);
            std::string cell;
            for (const auto& c : columns) {
                std::getline(cells, cell, '|');
                fields[c] = cell;
                cell.clear();
            }
            rows.push_back(fields);
        }
        return rows;
    }

private:
    tvtest::tool_result run(std::vector<std::string> args) const {
        const std::vector<std::string> lua{"-X", "lua_script:" TELVAR_DISSECTOR,
                                           "-X", "lua_script1:" TELVAR_DISSECTOR_NAMES};
        args.insert(args[0] == "-G" ? args.begin() + 2 : args.begin(), lua.begin(), lua.end());
        args.insert(args.begin(), tshark_.begin() + 1, tshark_.end());
        return tvtest::run_tool(tshark_[0], args, {"WIRESHARK_CONFIG_DIR=" + dir_.string()});
    }
    bool lua_loads() const {
        return run({"-G", "protocols"}).out.find("\ttelvar\n") != std::string::npos;
    }

    fs::path dir_;
    std::vector<std::string> tshark_;
};

std::string op(const row& r) {
    return r.at("telvar.command.name") +
           (r.at("telvar.subcmd.name").empty() ? "" : "/" + r.at("telvar.subcmd.name"));
}

const row& frame(const std::vector<row>& rows, const std::string& number) {
    return rows.at(std::stoul(number) - 1);
}

TEST_F(dissector, names_pairs_and_checks_a_simulator_run) {
    const std::string capture = file("run.pcap");
    {
        sim::server_options o;
        o.capture_path = capture;
        std::string why;
        o.faults.push_back(*sim::parse_fault("corrupt,cmd=0x12,count=1", why));
        tvtest::running_fabric fab(tvtest::addr::dissector_base, o);
        const int32_t was_strict = tv_set_strict_answers(1);
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
        tv_set_strict_answers(was_strict);
    }  // the simulator has stopped: the capture is complete

    const std::vector<row> rows = decode(capture);
    std::vector<std::string> asked;
    const row* bad = nullptr;
    const row* resent = nullptr;
    const row* trap = nullptr;
    for (const row& r : rows) {
        const std::string& kind = r.at("telvar.kind");
        if (kind == "request" && r.at("telvar.resend_of").empty()) {
            asked.push_back(op(r) + (op(r) == "configuration/port types" ? "@" + r.at("telvar.dest.chassis") : ""));
            const row& answer = frame(rows, r.at("telvar.response_in"));
            EXPECT_EQ(r.at("telvar.seq"), answer.at("telvar.seq")) << op(r);
            EXPECT_EQ(r.at("frame.number"), answer.at("telvar.request_in"));
            EXPECT_GE(std::stod(answer.at("telvar.time")), 0.0);
        } else if (kind == "request") {
            resent = &r;
        } else if (kind == "answer") {
            EXPECT_EQ(op(r), op(frame(rows, r.at("telvar.request_in"))));
            EXPECT_EQ("0", r.at("telvar.status.code"));
            if (r.at("telvar.checksum.status") == "0") bad = &r;
        } else if (kind == "trap") {
            trap = &r;
        } else {
            EXPECT_EQ("reset", kind);
            asked.push_back(op(r));
            EXPECT_EQ("1", r.at("telvar.checksum.status"));
        }
    }
    EXPECT_EQ((std::vector<std::string>{"version", "chassis status", "version",
                                        "configuration/sensors", "configuration/port types@3",
                                        "trap/set trap listener", "trap/set trap counter",
                                        "trap/trap listeners", "trap/set trap listener",
                                        "switch reset"}),
              asked);
    // The bad answer is flagged and settles nothing: the request goes again, and the next
    // answer is the one paired with it.
    ASSERT_TRUE(bad && resent);
    EXPECT_EQ("chassis status", op(*bad));
    EXPECT_NE(std::string::npos, bad->at("_ws.expert.message").find("Bad checksum"));
    const row& first = frame(rows, resent->at("telvar.resend_of"));
    EXPECT_EQ("chassis status", op(first));
    EXPECT_NE(bad->at("frame.number"), first.at("telvar.response_in"));
    ASSERT_TRUE(trap);
    EXPECT_EQ("11", trap->at("telvar.trap.code"));
    EXPECT_EQ("0", trap->at("telvar.trap.alert"));
    EXPECT_EQ("0x104000", trap->at("telvar.trap.source"));
    EXPECT_EQ("", trap->at("telvar.request_in"));
}

// A message of `len` bytes with a header and its checksum.
std::vector<std::uint8_t> message(std::size_t len, std::uint16_t command, std::uint32_t seq,
                                  std::uint8_t status = 0) {
    std::vector<std::uint8_t> m(len);
    tv::encode_header(m, {1, 4, 0, status, TV_DEFAULT_DEST, command,
                          static_cast<std::uint16_t>(len - TV_HDR_LEN), seq});
    tv::set_checksum(m);
    return m;
}

TEST_F(dissector, flags_what_the_simulator_never_sends) {
    const std::string capture = file("odd.pcap");
    const auto at = [](const char* ip, std::uint16_t port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = inet_addr(ip);
        a.sin_port = htons(port);
        return a;
    };
    const sockaddr_in manager = at("127.0.80.9", 40000), listener = at("127.0.80.9", 40001),
                      sw = at(tvtest::addr::dissector_base, TV_SWITCH_UDP_PORT);
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
        std::vector<std::uint8_t> lying = message(24, TV_CMD_VERSION, 7);
        tv::wire::put_be16(lying, tv::off::length, 4);
        tv::set_checksum(lying);
        w.write(manager, sw, lying);
        w.write(manager, sw, message(20, TV_CMD_VERSION, 8));
        w.write(sw, manager, message(20, TV_CMD_VERSION, 8, TV_HDR_STATUS_LOGIN));
    }
    const std::vector<row> rows = decode(capture);
    ASSERT_EQ(5u, rows.size());
    EXPECT_EQ("test alert", rows[0].at("telvar.kind"));
    EXPECT_EQ("99", rows[0].at("telvar.trap.code"));
    EXPECT_EQ("1", rows[0].at("telvar.trap.alert"));
    EXPECT_EQ("Datagram too short for a message", rows[1].at("_ws.expert.message"));
    EXPECT_EQ("Length field 4 in a datagram of 24 bytes", rows[2].at("_ws.expert.message"));
    EXPECT_EQ("4", rows[4].at("telvar.request_in"));
    EXPECT_EQ("202", rows[4].at("telvar.status.code"));
    EXPECT_EQ("Refused, status 0x0e: Command requires user login, status code 202",
              rows[4].at("_ws.expert.message"));
}

}  // namespace
