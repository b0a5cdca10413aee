// The fabric view against the simulator run in-process: what its answers decode to where the
// tool's reports do not show it, a link going down with its port, both ends of a name-server
// walk on the wire, and depth-first walks over rings and over a switch reached by two paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <regex>
#include <set>

#include "proto/topology/layout.h"
#include "support/command_output.h"
#include "support/saved_globals.h"
#include "support/sim_fixture.h"
#include "support/test_addresses.h"
#include "telvar/data/fabric_walk.h"

namespace {

using bytes = std::vector<std::uint8_t>;
namespace w = tv::wire;

using tv::layout::topology::chassis_of;

// Walks the fabric from `start` as the links command does (the start recorded first unless
// `record_start` is false); the chassis of the tables printed, in order.
std::vector<std::uint32_t> walk(tv_context* ctx, std::uint32_t start, bool record_start = true) {
    std::fill(std::begin(all_chassis), std::end(all_chassis), -1);
    tvtest::captured_output out;
    tv_set_dest_addr(ctx, start);
    if (record_start) add_to_topo(static_cast<int32_t>(chassis_of(start)));
    EXPECT_EQ(0, print_topo(ctx));
    const std::string text = out.take();
    std::vector<std::uint32_t> tables;
    const std::regex header("\nChassis: ([0-9a-f]{2}) ");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), header); it != std::sregex_iterator(); ++it)
        tables.push_back(static_cast<std::uint32_t>(std::stoul((*it)[1], nullptr, 16)));
    return tables;
}

// The requests of a command (and configuration sub-command) that reached a fabric.
std::vector<bytes> requests_of(const tvtest::running_fabric& fab, std::uint16_t command,
                               std::uint32_t sub = 0) {
    std::vector<bytes> out;
    for (auto& r : fab.requests())
        if (w::get_be16(r, tv::off::command) == command &&
            (command != TV_CMD_CONFIG || w::get_be32(r, tv::off::subcmd) == sub))
            out.push_back(r);
    return out;
}

class default_view : public tvtest::fabric_test {
protected:
    default_view() : fabric_test(tvtest::addr::fabric_base) {}  // sw1 .22.2, sw2 .22.3, sw3 .22.4
    void set_admin(std::size_t sw, std::size_t port, std::uint8_t state) {
        fab.server().with_fabric([&](sim::fabric& f) { f.switches[sw].get<sim::port_state>().active[port].admin = state; });
    }
    static int32_t objects(tv_context* c) {
        tv_nameserver_list list{};
        EXPECT_EQ(0, tv_get_nameserverdata(c, &list));
        const int32_t n = list.count;
        tv_free_nameserverdata(&list);
        return n;
    }
};

// The routes and the loops of the fabric are in the tool's reports (diag_cli_test).
TEST_F(default_view, what_the_reports_do_not_show_matches_the_fabric) {
    tv_nameserver_entry host{};
    ASSERT_EQ(0, tv_get_nameserverentry(ctx, 0x108100, &host));
    EXPECT_STREQ("host-b HBA port 1", host.port_symname);
    EXPECT_STREQ("host-b", host.node_symname);
    EXPECT_EQ(0xC000020Cu, host.ip_addr);  // 192.0.2.12
}

TEST_F(default_view, a_port_turned_off_takes_its_link_and_what_lies_behind_it) {
    g_timeout = 150;  // the switch behind the link stays silent
    ASSERT_EQ(14, objects(ctx));
    set_admin(1, 15, TV_PORT_STATE_OFF);  // sw2's port 16, its link to sw3

    tv_set_dest_addr(ctx, 0x108000);
    tv_switch_links links{};
    ASSERT_EQ(0, tv_get_switch_links(ctx, &links));
    EXPECT_EQ(1, links.count);
    tv_free_switch_links(&links);
    tv_set_dest_addr(ctx, 0x104000);
    tv_port_steering st{};
    ASSERT_EQ(0, tv_get_port_steering(ctx, 0, &st));
    EXPECT_EQ(1, st.route_valid[2]);
    EXPECT_EQ(0, st.route_valid[3]);
    EXPECT_EQ(11, objects(ctx));
    tv_set_dest_addr(ctx, 0x10C000);
    tv_version_info v{};
    EXPECT_EQ(TV_ERR_NO_RESPONSE, tv_get_version(ctx, &v));
    // sw3, through its own address, sees only itself.
    tv_context* third = tv_open("127.0.22.4");
    ASSERT_NE(nullptr, third);
    EXPECT_EQ(3, objects(third));
    tv_close(third);

    set_admin(1, 15, TV_PORT_STATE_ON);
    EXPECT_EQ(0, tv_get_version(ctx, &v));
    tv_set_dest_addr(ctx, 0x104000);
    EXPECT_EQ(14, objects(ctx));
}

TEST_F(default_view, a_walk_ends_at_the_first_object_again_or_at_the_refusal) {
    fab.server().clear_records();
    EXPECT_EQ(14, objects(ctx));
    // Wrapping (the default fabric's choice): the fifteenth object is the first again. (The
    // halves of each query: name_server_test.)
    auto queries = requests_of(fab, TV_CMD_NAME_SERVER);
    ASSERT_EQ(30u, queries.size());
    EXPECT_EQ(0x10C202u, w::get_be32(queries.back(), 28));

    fab.server().with_fabric([](sim::fabric& f) { f.get<sim::name_server_fabric_state>().wrap_after_last = false; });
    fab.server().clear_records();
    EXPECT_EQ(14, objects(ctx));
    queries = requests_of(fab, TV_CMD_NAME_SERVER);
    ASSERT_EQ(29u, queries.size());
    EXPECT_EQ(0x10C202u, w::get_be32(queries.back(), 28));
    const bytes last_answer = fab.server().records().back().bytes;
    EXPECT_EQ(1, w::get_u8(last_answer, 21));
    EXPECT_EQ(0x12, w::get_u8(last_answer, 23));
}

// A fabric of its own, and a context on its first switch.
class own_fabric : public ::testing::Test {
protected:
    void start(const std::string& json, const char* base) {
        fab = std::make_unique<tvtest::running_fabric>(tvtest::fabric_at(json, base));
        Discover = 0;
        ctx = tv_open(base);
        ASSERT_NE(nullptr, ctx);
    }
    void TearDown() override { tv_close(ctx); }
    tvtest::saved_globals globals_;
    std::unique_ptr<tvtest::running_fabric> fab;
    tv_context* ctx = nullptr;
};

TEST_F(own_fabric, a_ring_of_twelve_prints_each_table_once_from_its_own_topology) {
    start(sim::generated_fabric_json({12, 120}), tvtest::addr::ring_base);
    // Depth first over port 1 of each switch: backwards round the ring.
    const std::vector<std::uint32_t> order{1, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2};
    EXPECT_EQ(order, walk(ctx, 0x104000));
    // Each table comes from a topology query addressed to the chassis it is headed with.
    std::vector<std::uint32_t> asked;
    for (const auto& q : requests_of(*fab, TV_CMD_CONFIG, 0x10)) asked.push_back(chassis_of(w::get_be24(q, 5)));
    EXPECT_EQ(order, asked);
}

TEST_F(own_fabric, a_ring_of_thirteen_stops_at_twelve_tables) {
    start(sim::generated_fabric_json({13, 0}), tvtest::addr::ring_base);
    const auto tables = walk(ctx, 0x104000);
    ASSERT_EQ(12u, tables.size());
    EXPECT_EQ(12u, std::set(tables.begin(), tables.end()).size());
    EXPECT_EQ(0, std::ranges::count(tables, 2u));  // the table was full before it was reached
    std::string why;
    for (const char* bad : {"12", "12,x", "0,10", "64,1", "1,1765", ",5"})
        EXPECT_FALSE(sim::parse_generate_shape(bad, why)) << bad;
}

// d is reached from a through b and through c; a and b are joined twice.
constexpr const char* two_paths =
    R"({"switches": [{"name": "a", "ip": "127.0.0.2", "chassis": 1}, {"name": "b", "chassis": 2},
                           {"name": "c", "chassis": 3}, {"name": "d", "chassis": 4}],
              "links": [{"from": "a:1", "to": "b:1"}, {"from": "a:2", "to": "c:1"}, {"from": "b:2", "to": "d:1"},
                        {"from": "c:2", "to": "d:2"}, {"from": "a:3", "to": "b:3"}]})";

TEST_F(own_fabric, a_switch_reached_by_two_paths_is_printed_once) {
    start(two_paths, tvtest::addr::two_path_base);
    EXPECT_EQ((std::vector<std::uint32_t>{1, 2, 4, 3}), walk(ctx, 0x104000));
    // Unrecorded, the start is entered again over the first link back to it.
    EXPECT_EQ((std::vector<std::uint32_t>{1, 2, 1, 3, 4}), walk(ctx, 0x104000, false));
}

TEST_F(own_fabric, the_breadth_first_walk_reaches_each_switch_once_through_the_links_it_read) {
    namespace F = telvar::fabric;
    start(two_paths, tvtest::addr::two_path_base);
    struct seen {
        std::vector<std::uint32_t> chassis, known;
        std::vector<bool> addressed;  // the context addressed the switch visited
    };
    // Visits every switch from `start`, reading the links of those `follow` accepts.
    const auto run = [&](std::optional<std::uint32_t> from, const std::function<bool(std::uint32_t)>& follow) {
        seen out;
        fab->server().clear_records();
        F::walk(
            ctx, from, {},
            [&](F::visit& v) {
                tv_version_info id{};
                EXPECT_EQ(TV_OK, v.read_identity(id));
                out.chassis.push_back(chassis_of(v.address()));
                out.addressed.push_back(tv_get_dest_addr(ctx) == v.address());
                if (follow(v.address())) {
                    EXPECT_EQ(TV_OK, v.read_links());
                }
                out.addressed.back() = out.addressed.back() && tv_get_dest_addr(ctx) == v.address();
            },
            [&](int done, int known) {
                EXPECT_EQ(out.chassis.size(), static_cast<std::size_t>(done));
                out.known.push_back(static_cast<std::uint32_t>(known));
            });
        return out;
    };
    const auto every = [](std::uint32_t) { return true; };
    seen all = run(0x104000, every);
    EXPECT_EQ((std::vector<std::uint32_t>{1, 2, 3, 4}), all.chassis);  // by distance, then link order
    EXPECT_EQ((std::vector<std::uint32_t>{3, 4, 4, 4}), all.known);
    EXPECT_EQ(std::vector<bool>(4, true), all.addressed);
    // The walk sends nothing of its own: a version read, and a topology read per link list.
    EXPECT_EQ(4u, requests_of(*fab, TV_CMD_CONFIG, 0x10).size());

    // A switch whose links are not read leads nowhere: d is still reached through c, and not
    // at all when c's links are not read either.
    EXPECT_EQ((std::vector<std::uint32_t>{1, 2, 3, 4}), run(0x104000, [](std::uint32_t a) { return a != 0x108000; }).chassis);
    EXPECT_EQ((std::vector<std::uint32_t>{1, 2, 3}), run(0x104000, [](std::uint32_t a) { return a == 0x104000; }).chassis);

    // From the context's own destination the first switch is known by its identity, and then
    // addressed by its FC address like every other.
    tv_close(ctx);
    ctx = tv_open(tvtest::addr::two_path_base);
    ASSERT_NE(nullptr, ctx);
    all = run(std::nullopt, every);
    EXPECT_EQ((std::vector<std::uint32_t>{1, 2, 3, 4}), all.chassis);
    EXPECT_EQ(std::vector<bool>(4, true), all.addressed);
    const auto requests = fab->requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(TV_DEFAULT_DEST, w::get_be24(requests.front(), 5));  // the identity, through the default
    EXPECT_EQ(0x104000u, w::get_be24(requests[1], 5));
}

}  // namespace
