// The diagnostic entry points against a fabric of the simulator run in this process: what each
// returns, what it changed in the switch, that every path closes what it opened; and the
// diagnostic host as a child process, with every entry point it knows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>

#include "proto/identity/layout.h"
#include "proto/name_server/layout.h"
#include "proto/ports/layout.h"
#include "proto/topology/layout.h"
#include "proto/zoning/layout.h"
#include "support/run_tool.h"
#include "support/saved_globals.h"
#include "support/sim_fixture.h"
#include "support/test_addresses.h"
#include "switchsim/families/diag_family.h"
#include "switchsim/families/port_family.h"
#include "switchsim/families/zoning_family.h"
#include "telvar/sanwrapper.h"

namespace {

constexpr const char* sw1 = tvtest::addr::sanwrapper_base;  // .1, then .2 and .3
constexpr const char* sw2 = "127.0.120.2";

class entry_points : public tvtest::fabric_test {
protected:
    entry_points() : fabric_test(sw1) {}
    void SetUp() override {
        setenv("TELVARPORT", "0", 1);  // udpport 0 then lets the system choose
        fabric_test::SetUp();
    }
    // The next answer to a command (and sub-command) says the switch is busy: status 107.
    void spoil(uint16_t command, std::optional<uint32_t> sub = std::nullopt) {
        fab.server().add_fault({.kind = sim::fault_kind::status, .command = command,
                                .subcommand = sub, .count = 1, .value = 0x03});
    }
    template <class State>
    State state() {
        return fab.on_switch(0, [](sim::switch_state& s) { return s.get<State>(); });
    }
};

TEST_F(entry_points, each_one_succeeds_on_the_fabric_and_leaves_no_descriptor_open) {
    const auto before = tvtest::open_descriptors();
    tv_version_info v{};
    g_logincmd = 1;
    EXPECT_EQ(0, tvlsw_get_version(0, 0, sw1, &v));
    EXPECT_EQ(1u, fab.requests().size());  // no port count was read
    EXPECT_EQ(0, g_logincmd);

    std::string slots(3 * TVLSW_DISCOVER_SLOT, 'x');
    tv_chassis_status chassis{};
    tv_switch_links links{};
    tv_nameserver_list ns{};
    tv_initiators initiators{};
    tv_port_counters counters{};
    tv_port_status status{};
    int32_t count = 0;
    tvlsw_port_states states{};
    tv_port_types types{};
    tv_test_status_info test{};
    tv_port_zone zone{}, written{};
    tv_port_zone_set set{};
    const std::vector<int32_t> results{
        // The network address becomes .1, the first switch, which is then probed once.
        tvlsw_discover(0, 0, "255.255.255.252", sw2, nullptr, slots.data()),
        tvlsw_chassis_status(0, 0, sw1, &chassis),
        tvlsw_links(0, 0, sw1, &links),
        tvlsw_nameserver(0, 0, sw1, &ns),
        tvlsw_switch_initiators(0x108000, 0, sw1, &initiators),  // the second switch
        tvlsw_reset_log(0, 0, sw1),
        tvlsw_port_counts(0, 0, sw1, "16", &counters),
        tvlsw_port_status(0, 0, 1, sw1, "3", &status, &count),
        tvlsw_port_state(0, 0, "off", sw1, "2", &states),
        tvlsw_port_type(0, 0, "tl", sw1, "7", &types),
        tvlsw_start_test(0, 0, nullptr, nullptr, 0, 1, nullptr, sw1, "1"),
        tvlsw_test_status(0, 0, sw1, "1", &test),
        tvlsw_get_zone(0, 0, 0, sw1, "ns", "17", &zone, &set),
        tvlsw_get_zone(0, 0, 1, sw1, "hd", "all", &written, &set),
        tvlsw_set_zone(0, 0, 0, 1, sw1, "1", "9", "1\0\0" "12", 2, &written),
    };
    EXPECT_EQ(std::vector<int32_t>(results.size(), 0), results);
    EXPECT_EQ(std::string{sw1} + '\0' + std::string(TVLSW_DISCOVER_SLOT - 12, 'x') + sw2 + '\0',
              slots.substr(0, TVLSW_DISCOVER_SLOT + 12));
    EXPECT_EQ('x', slots[2 * TVLSW_DISCOVER_SLOT]);
    EXPECT_EQ((std::pair{std::string{"Simulated 16-port Fibre Channel switch sw1"}, 0x108000u}),
              (std::pair{std::string{tmp_sysconfig.description}, tmp_version.ver_info3}));
    EXPECT_EQ((std::pair{16, uint32_t{TV_PORT_TYPE_FL}}), (std::pair{count, status.type}));
    EXPECT_EQ((std::pair{16u, uint32_t{TV_PORT_STATE_OFF}}), (std::pair{states.count, states.entries[1].admin}));
    const sim::port_state ports = state<sim::port_state>();
    EXPECT_EQ((std::vector<int>{TV_PORT_STATE_OFF, TV_PORT_TYPE_TL, TV_PORT_TYPE_TL}),
              (std::vector<int>{ports.active[1].admin, ports.active[6].type, types.types[6]}));
    EXPECT_EQ((std::pair{10u, sim::pass_ms_of(2000)}),
              (std::pair{state<sim::diag_state>().run.passes, state<sim::diag_state>().run.pass_ms}));
    EXPECT_EQ((std::vector<uint32_t>{1, 2, 3}), std::vector<uint32_t>(zone.ports, zone.ports + zone.count));
    EXPECT_EQ((std::pair{uint32_t{TV_ZONE_HD}, 16u}), (std::pair{set.type, set.count}));
    EXPECT_EQ(nullptr, written.ports);
    EXPECT_EQ((sim::bitmap_zone{1u | (1u << 11), true}), state<sim::zoning_state>().active.hard[9]);
    EXPECT_EQ(0, tvlsw_stop_test(0, 0, sw1, "all"));
    EXPECT_FALSE(state<sim::diag_state>().run.active);
    tv_free_switch_links(&links);
    tv_free_nameserverdata(&ns);
    tv_free_port_status(&status);
    tv_free_port_types(&types);
    tv_free_port_zone(&zone, 0);
    tv_free_port_zone_set(&set, 0);

    // Main 1 keeps the context of a successful links call for the host.
    Main = 1;
    EXPECT_EQ(0, tvlsw_links(0, 0, sw1, &links));
    tv_free_switch_links(&links);
    Main = 0;
    EXPECT_EQ(before + 1, tvtest::open_descriptors());
    close_ip_context(tmp_context);
    EXPECT_EQ(before, tvtest::open_descriptors());
}

TEST_F(entry_points, failures_return_their_statuses_and_close_what_they_opened) {
    const auto before = tvtest::open_descriptors();
    for (const char* ip : {"127.0.120.0", "127.0.120.255", "localhost", static_cast<const char*>(nullptr)})
        EXPECT_EQ(501, tvlsw_goodbadip(ip)) << (ip ? ip : "null");
    // A refused IP text touches nothing, except where the call is recorded first.
    g_remotefcaddr = 0x1234;
    tv_version_info v{};
    tv_port_counters counters{};
    EXPECT_EQ(501, tvlsw_get_version(7, 0, "127.0.120.255", &v));
    EXPECT_EQ(0x1234u, g_remotefcaddr);
    EXPECT_EQ(501, tvlsw_port_counts(7, 9, "127.0.120.255", "1", &counters));
    EXPECT_EQ((std::pair{7u, uint16_t{9}}), (std::pair{g_remotefcaddr, g_tvlsw_udpport}));

    tv_port_types types{};
    tv_port_status status{};
    EXPECT_EQ(500, tvlsw_port_type(0, 0, nullptr, nullptr, "1", &types));
    EXPECT_EQ(500, tvlsw_port_status(0, 0, 0, nullptr, "1", &status, nullptr));
    spoil(TV_CMD_CONFIG, tv::layout::ports::subcmd::port_types);
    EXPECT_EQ(502, tvlsw_reset_log(0, 0, sw1));
    testing::internal::CaptureStderr();
    EXPECT_EQ(503, tvlsw_port_counts(0, 0, sw1, "17", &counters));
    EXPECT_EQ(503, tvlsw_port_type(0, 0, nullptr, sw1, "0", &types));
    EXPECT_EQ("bad port number: 17\n", testing::internal::GetCapturedStderr());

    tvlsw_port_states states{};
    tv_test_status_info test{};
    fab.server().clear_records();
    EXPECT_EQ(-1, tvlsw_port_state(0, 0, "On", sw1, "1", &states));
    EXPECT_EQ(-1, tvlsw_port_type(0, 0, "FL", sw1, "1", &types));
    EXPECT_TRUE(fab.requests().empty());  // refused before anything was opened
    EXPECT_EQ((std::vector<int32_t>(5, -1)),
              (std::vector<int32_t>{tvlsw_port_counts(0, 0, sw1, "x", &counters),
                                    tvlsw_port_state(0, 0, nullptr, sw1, "x", &states),
                                    tvlsw_port_type(0, 0, nullptr, sw1, "", &types),
                                    tvlsw_start_test(0, 0, "100", "1", 0, 0, nullptr, sw1, "x"),
                                    tvlsw_test_status(0, 0, sw1, "x", &test)}));

    tv_port_zone zone{};
    tv_port_zone_set set{};
    for (auto [type, id] : {std::pair{"hd", "16"}, {"2", "16"}, {"ns", "256"}, {"sl", "x"}, {"5", "1"}}) {
        EXPECT_EQ(301, tvlsw_get_zone(0, 0, 0, sw1, type, id, &zone, &set)) << type << " " << id;
        EXPECT_EQ(301, tvlsw_set_zone(0, 0, 0, 0, sw1, type, id, "1", 1, &zone)) << type << " " << id;
    }
    EXPECT_EQ(0, tvlsw_get_zone(0, 0, 0, sw1, "ns", "255", &zone, &set));
    tv_free_port_zone(&zone, 0);
    fab.server().clear_records();
    EXPECT_EQ(301, tvlsw_set_zone(0, 0, 0, 0, sw1, "hd", "all", "1", 1, &zone));
    EXPECT_EQ(301, tvlsw_set_zone(0, 0, 0, 0, sw1, "sl", "0", "1", 1, &zone));
    EXPECT_EQ(301, tvlsw_set_zone(0, 0, 1, 1, sw1, "hd", "3", "1\0\0" "0", 2, &zone));
    EXPECT_EQ(301, tvlsw_set_zone(0, 0, 0, 0, sw1, "hd", "3", nullptr, -1, &zone));
    EXPECT_EQ(nullptr, zone.ports);
    for (uint32_t sub : fab.subcommands()) EXPECT_NE(tv::layout::zoning::subcmd::write_hard, sub);
    EXPECT_EQ(301, tvlsw_port_status(0, 0, 0, sw1, "all", &status, nullptr));
    EXPECT_EQ(301, tvlsw_nameserver(0, 0, sw1, nullptr));

    // A failing operation's status; the copies in the globals change only on full success.
    tmp_sysconfig.description[0] = '?';
    tmp_version.flash_rev = 1;
    tv_chassis_status chassis{};
    tv_initiators initiators{};
    tv_switch_links links{};
    Main = 1;  // a failure closes the context all the same
    spoil(TV_CMD_VERSION);
    spoil(TV_CMD_CONFIG, tv::layout::identity::subcmd::sysconfig);
    spoil(TV_CMD_CONFIG, tv::layout::name_server::initiators::subcmd);
    spoil(TV_CMD_CONFIG, tv::layout::topology::subcmd::topology);
    EXPECT_EQ((std::vector<int32_t>{107, 107, 107, 107, 200}),
              (std::vector<int32_t>{tvlsw_get_version(0, 0, sw1, &v),
                                    tvlsw_chassis_status(0, 0, sw1, &chassis),
                                    tvlsw_switch_initiators(0, 0, sw1, &initiators),
                                    tvlsw_links(0, 0, sw1, &links),
                                    tvlsw_port_counts(0, 0, sw1, "all", &counters)}));  // no port 0xFF
    Main = 0;
    EXPECT_EQ((std::pair{'?', 1u}), (std::pair{tmp_sysconfig.description[0], tmp_version.flash_rev}));
    tv_free_switch_links(&links);

    char slots[TVLSW_DISCOVER_SLOT];
    EXPECT_EQ(301, tvlsw_discover(0, 0, "0.0.0.0", sw1, nullptr, slots));
    EXPECT_EQ(501, tvlsw_discover(0, 0, nullptr, "127.0.120.0", "1", slots));
    EXPECT_EQ(before, tvtest::open_descriptors());
}

// A bad port text where the usage rule applies ends the process. No switch is needed once the
// port count is not read, and no fabric runs: the child is forked with this thread alone.
TEST(entry_point_usage, a_bad_port_text_of_stop_test_and_port_status_ends_the_process) {
    const tvtest::saved_globals saved;
    GTEST_FLAG_SET(death_test_style, "fast");
    g_logincmd = 1;
    Max_Ports = 16;
    EXPECT_EXIT(tvlsw_stop_test(0, 0, sw1, "x1"), testing::ExitedWithCode(1), "telvar  version");
    tv_port_status status{};
    EXPECT_EXIT(tvlsw_port_status(0, 0, 0, sw1, "", &status, nullptr), testing::ExitedWithCode(1), "Usage:");
}

// The arguments the diagnostic host is run with, after the entry point's name.
const std::map<std::string, std::string> host_runs{
    {"goodbadip", "IP"}, {"get_version", "IP"}, {"discover", "- IP 2"}, {"chassis_status", "IP"},
    {"links", "IP"}, {"nameserver", "IP"}, {"switch_initiators", "IP"}, {"reset_log", "IP"},
    {"port_counts", "IP 2"}, {"port_status", "1 IP 4"}, {"port_state", "on IP all"},
    {"stop_test", "IP 1"}, {"start_test", "100 2 0x55 1 IP 3"}, {"test_status", "IP 3"},
    {"get_zone", "0 IP bcst all"}, {"set_zone", "1 1 IP ns 200 3 4"}, {"port_type", "- IP 1"},
};

std::vector<std::string> host_args(const std::string& entry) {
    std::vector<std::string> a{entry};
    std::istringstream words{host_runs.at(entry)};
    for (std::string w; words >> w;) a.push_back(w == "IP" ? sw1 : w);
    return a;
}

TEST_F(entry_points, the_host_runs_every_entry_point_it_lists) {
    const std::vector<std::string> env{"TELVARPORT=0"};
    std::istringstream names{tvtest::run_tool(TVLSW_HOST_BIN, {"--list"}).out};
    std::size_t listed = 0;
    for (std::string name; std::getline(names, name); ++listed) {
        ASSERT_EQ(1u, host_runs.count(name)) << name;
        const tvtest::tool_result r = tvtest::run_tool(TVLSW_HOST_BIN, host_args(name), env);
        EXPECT_EQ(0, r.status) << name << "\n" << r.out << r.err;
        EXPECT_NE(std::string::npos, r.out.find("tvlsw_" + name + " returned 0: OK\n")) << r.out;
    }
    EXPECT_EQ(host_runs.size(), listed);

    const tvtest::tool_result v =
        tvtest::run_tool(TVLSW_HOST_STATIC_BIN, {"-f", "108000", "tvlsw_get_version", sw1}, env);
    EXPECT_EQ(0, v.status);
    EXPECT_NE(std::string::npos, v.out.find("WWN:\t100000005e020000\n")) << v.out;
    const tvtest::tool_result bad = tvtest::run_tool(TVLSW_HOST_BIN, {"port_counts", sw1, "17"}, env);
    EXPECT_EQ(2, bad.status);
    EXPECT_EQ("tvlsw_port_counts returned 503: port number out of range\n", bad.out);
}

}  // namespace
