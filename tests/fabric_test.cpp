// The fabric view against the simulator run in-process: records decoded from its answers
// against the fabric it serves, a link going down with its port, both ends of a name-server
// walk on the wire, and depth-first walks over rings and over a switch reached by two paths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <set>

#include "fabric_file.h"
#include "generated_fabric.h"
#include "support/command_output.h"
#include "support/sim_fixture.h"
#include "support/test_addresses.h"
#include "topology_decode.h"

namespace {

using bytes = std::vector<std::uint8_t>;
namespace w = tv::wire;

sim::fabric fabric_at(const std::string& json, const char* base) {
    std::string why;
    auto f = sim::parse_fabric(json, why);
    if (!f) throw std::runtime_error(why);
    sim::move_addresses(*f, inet_addr(base));
    return std::move(*f);
}

std::uint32_t chassis_of(std::uint32_t fc_addr) { return (fc_addr >> 14) & 0x3F; }

// Walks the fabric from `start` as the links command does, the start recorded first unless
// `record_start` is false; returns the chassis of the tables printed, in order.
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

class fabric_view : public ::testing::Test {
protected:
    void open(tvtest::running_fabric& f, const char* ip) {
        fab = &f;
        Discover = 0;
        tv_api_open(nullptr);
        ctx = tv_open(ip);
        ASSERT_NE(nullptr, ctx);
        f.server().clear_records();
    }
    void TearDown() override {
        tv_close(ctx);
        Discover = 1;
        g_timeout = 500;
    }
    template <class F>
    decltype(auto) in_fabric(F&& f) {
        return fab->server().with_fabric(std::forward<F>(f));
    }
    void set_admin(std::size_t sw, std::size_t port, std::uint8_t state) {
        in_fabric([&](sim::fabric& f) { f.switches[sw].get<sim::port_state>().active[port].admin = state; });
    }
    // The requests of a command (and configuration sub-command) that reached the fabric.
    std::vector<bytes> requests_of(std::uint16_t command, std::uint32_t sub = 0) const {
        std::vector<bytes> out;
        for (auto& r : fab->requests())
            if (w::get_be16(r, tv::off::command) == command &&
                (command != TV_CMD_CONFIG || w::get_be32(r, tv::off::subcmd) == sub))
                out.push_back(r);
        return out;
    }
    std::size_t walk_name_server() {
        tv_nameserver_list list{};
        EXPECT_EQ(0, tv_get_nameserverdata(ctx, &list));
        const std::size_t n = static_cast<std::size_t>(list.count);
        tv_free_nameserverdata(&list);
        return n;
    }

    tvtest::running_fabric* fab = nullptr;
    tv_context* ctx = nullptr;
};

class default_fabric_view : public fabric_view {
protected:
    tvtest::running_fabric sims{tvtest::addr::fabric_base};  // sw1 .22.2, sw2 .22.3, sw3 .22.4
    void SetUp() override { open(sims, tvtest::addr::fabric_base); }
};

TEST_F(default_fabric_view, records_match_the_fabric_they_come_from) {
    // Every device of the fabric, in address order, as the name server shows it from sw1.
    struct object {
        std::uint32_t id;
        std::uint8_t port, type;
        sim::wwn_t port_wwn, node_wwn;
    };
    std::vector<object> want;
    in_fabric([&](sim::fabric& f) {
        for (const auto& s : f.switches)
            for (std::uint8_t p = 0; p < s.ports.size(); ++p) {
                const bool loop = s.get<sim::port_state>().active[p].type != TV_PORT_TYPE_F;
                for (const auto& d : s.ports[p].devices)
                    want.push_back({(s.fc_addr & 0xFFC000) | p << 8 | d.alpa, p,
                                    static_cast<std::uint8_t>(loop ? 2 : 1), d.port_wwn, d.node_wwn});
            }
    });
    std::ranges::sort(want, {}, &object::id);
    tv_nameserver_list list{};
    ASSERT_EQ(0, tv_get_nameserverdata(ctx, &list));
    ASSERT_EQ(want.size(), static_cast<std::size_t>(list.count));
    for (std::size_t i = 0; i < want.size(); ++i) {
        const tv_nameserver_entry& e = list.entries[i];
        EXPECT_EQ(want[i].id, e.port_id);
        EXPECT_EQ(want[i].port, e.port);
        EXPECT_EQ(want[i].type, e.port_type) << i;
        EXPECT_EQ(0, std::memcmp(want[i].port_wwn.data(), e.port_wwn, 8));
        EXPECT_EQ(0, std::memcmp(want[i].node_wwn.data(), e.node_wwn, 8));
    }
    tv_free_nameserverdata(&list);

    tv_nameserver_entry host{};
    ASSERT_EQ(0, tv_get_nameserverentry(ctx, 0x108100, &host));
    EXPECT_STREQ("host-b HBA port 1", host.port_symname);
    EXPECT_STREQ("host-b", host.node_symname);
    EXPECT_EQ(0xC000020Cu, host.ip_addr);
    EXPECT_EQ(0x08u, host.cos);
    EXPECT_EQ(1u << 8, host.fc4_types[0]);

    // sw1's initiators: the host on port 1 and the loop initiator on port 4.
    tv_initiators t{};
    ASSERT_EQ(0, tv_get_initiators(ctx, &t));
    ASSERT_EQ(2, t.count);
    EXPECT_EQ(0, t.port[0]);
    EXPECT_EQ(3, t.port[1]);
    EXPECT_EQ(0xEF, t.alpa[1]);
    EXPECT_EQ(0x1043EFu, t.value[1]);
    EXPECT_EQ(0x02, t.port_wwn[1][7]);

    // sw2's links, each with the WWN of the switch at its far end.
    const auto wwn_of = [&](std::size_t sw) {
        return in_fabric([&](sim::fabric& f) { return f.switches[sw].get<sim::identity_state>().wwn; });
    };
    tv_set_dest_addr(ctx, 0x108000);
    tv_switch_links links{};
    ASSERT_EQ(0, tv_get_switch_links(ctx, &links));
    ASSERT_EQ(2, links.count);
    EXPECT_EQ(0x108000u, links.fc_addr);
    EXPECT_EQ(0u, links.links[0].port);
    EXPECT_EQ(1, links.links[0].remote_chassis);
    EXPECT_EQ(0x104F00u, links.links[0].remote_fc_addr);
    EXPECT_EQ(0, std::memcmp(wwn_of(0).data(), links.links[0].remote_wwn, 8));
    EXPECT_EQ(15u, links.links[1].port);
    EXPECT_EQ(0x10C000u, links.links[1].remote_fc_addr);
    EXPECT_EQ(0, std::memcmp(wwn_of(2).data(), links.links[1].remote_wwn, 8));
    tv_free_switch_links(&links);

    // sw1 routes to chassis 2 and 3 through its port 16; the loop of its port 3.
    tv_set_dest_addr(ctx, 0x104000);
    tv_port_steering st{};
    ASSERT_EQ(0, tv_get_port_steering(ctx, 0, &st));
    EXPECT_EQ(0x104000u, st.fc_addr);
    EXPECT_EQ((std::array<int, 4>{0, 0, 1, 1}),
              (std::array<int, 4>{st.route_valid[0], st.route_valid[1], st.route_valid[2], st.route_valid[3]}));
    EXPECT_EQ(15, st.route_port[3]);
    EXPECT_EQ(2, st.table0[3]);
    ASSERT_EQ(0, tv_get_al_port_status(ctx, 2));
    std::array<std::uint8_t, 8> alpas{};
    EXPECT_EQ(3u, tv::decode_al_alpas(tv::al_port_status_response(), alpas));
    EXPECT_EQ((std::array<std::uint8_t, 8>{1, 2, 4}), alpas);
}

TEST_F(default_fabric_view, a_port_turned_off_takes_its_link_and_what_lies_behind_it) {
    g_timeout = 150;  // the switch behind the link stays silent
    ASSERT_EQ(14u, walk_name_server());
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
    EXPECT_EQ(11u, walk_name_server());
    tv_set_dest_addr(ctx, 0x10C000);
    tv_version_info v{};
    EXPECT_EQ(TV_ERR_NO_RESPONSE, tv_get_version(ctx, &v));
    EXPECT_GT(fab->server().stats().unroutable, 0u);
    // sw3, through its own address, sees only itself.
    tv_context* third = tv_open("127.0.22.4");
    ASSERT_NE(nullptr, third);
    tv_nameserver_list list{};
    EXPECT_EQ(0, tv_get_nameserverdata(third, &list));
    EXPECT_EQ(3, list.count);
    tv_free_nameserverdata(&list);
    tv_close(third);

    set_admin(1, 15, TV_PORT_STATE_ON);
    EXPECT_EQ(0, tv_get_version(ctx, &v));
    EXPECT_EQ(0x10C000u, v.ver_info3);
    tv_set_dest_addr(ctx, 0x104000);
    EXPECT_EQ(14u, walk_name_server());
}

TEST_F(default_fabric_view, a_walk_ends_at_the_first_object_again_or_at_the_refusal) {
    // Wrapping (the default fabric's choice): the fifteenth object is the first again.
    EXPECT_EQ(14u, walk_name_server());
    auto queries = requests_of(TV_CMD_NAME_SERVER);
    ASSERT_EQ(30u, queries.size());
    for (std::size_t i = 0; i < queries.size(); ++i) {
        EXPECT_EQ(i % 2, w::get_be16(queries[i], 24)) << i;
        EXPECT_EQ(w::get_be32(queries[i - i % 2], 28), w::get_be32(queries[i], 28)) << i;
    }
    EXPECT_EQ(0x10C202u, w::get_be32(queries.back(), 28));

    in_fabric([](sim::fabric& f) { f.get<sim::name_server_fabric_state>().wrap_after_last = false; });
    fab->server().clear_records();
    EXPECT_EQ(14u, walk_name_server());
    queries = requests_of(TV_CMD_NAME_SERVER);
    ASSERT_EQ(29u, queries.size());
    EXPECT_EQ(0u, w::get_be16(queries.back(), 24));
    EXPECT_EQ(0x10C202u, w::get_be32(queries.back(), 28));
    const auto records = fab->server().records();
    const bytes& last_answer = records.back().bytes;
    EXPECT_EQ(1, w::get_u8(last_answer, 21));
    EXPECT_EQ(0x12, w::get_u8(last_answer, 23));
}

class ring_view : public fabric_view {
protected:
    void start(std::size_t switches) {
        sims = std::make_unique<tvtest::running_fabric>(
            fabric_at(sim::generated_fabric_json({switches, 10 * switches}), tvtest::addr::ring_base));
        open(*sims, tvtest::addr::ring_base);
    }
    std::unique_ptr<tvtest::running_fabric> sims;
};

TEST_F(ring_view, a_ring_of_twelve_prints_each_table_once_from_its_own_topology) {
    start(12);
    const auto tables = walk(ctx, 0x104000);
    // Depth first over port 1 of each switch: backwards round the ring.
    const std::vector<std::uint32_t> order{1, 12, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2};
    EXPECT_EQ(order, tables);
    // Each table comes from a topology query addressed to the chassis it is headed with.
    std::vector<std::uint32_t> asked;
    for (const auto& q : requests_of(TV_CMD_CONFIG, 0x10)) asked.push_back(chassis_of(w::get_be24(q, 5)));
    EXPECT_EQ(order, asked);
}

TEST_F(ring_view, a_ring_of_thirteen_stops_at_twelve_tables) {
    start(13);
    const auto tables = walk(ctx, 0x104000);
    ASSERT_EQ(12u, tables.size());
    EXPECT_EQ(12u, std::set(tables.begin(), tables.end()).size());
    EXPECT_EQ(0, std::ranges::count(tables, 2u));  // the slots were full before it was reached
}

class two_path_view : public fabric_view {
protected:
    // d is reached from a through b and through c; a and b are joined twice.
    tvtest::running_fabric sims{fabric_at(R"({
      "switches": [{"name": "a", "ip": "127.0.0.2", "chassis": 1}, {"name": "b", "chassis": 2},
                   {"name": "c", "chassis": 3}, {"name": "d", "chassis": 4}],
      "links": [{"from": "a:1", "to": "b:1"}, {"from": "a:2", "to": "c:1"}, {"from": "b:2", "to": "d:1"},
                {"from": "c:2", "to": "d:2"}, {"from": "a:3", "to": "b:3"}]})",
                                          tvtest::addr::two_path_base)};
    void SetUp() override { open(sims, tvtest::addr::two_path_base); }
};

TEST_F(two_path_view, each_table_is_printed_once_when_the_start_is_recorded_first) {
    EXPECT_EQ((std::vector<std::uint32_t>{1, 2, 4, 3}), walk(ctx, 0x104000));
    // Unrecorded, the start is entered again over the first link back to it.
    EXPECT_EQ((std::vector<std::uint32_t>{1, 2, 1, 3, 4}), walk(ctx, 0x104000, false));
}

TEST(generated_fabric, a_ring_with_its_devices_on_loops) {
    std::string why;
    for (const char* bad : {"12", "12,x", "0,10", "64,1", "1,1765", ",5"})
        EXPECT_FALSE(sim::parse_generate_spec(bad, why)) << bad;
    const auto spec = sim::parse_generate_spec("3,50", why);
    ASSERT_TRUE(spec) << why;
    const sim::fabric f = fabric_at(sim::generated_fabric_json(*spec), "127.0.23.2");
    ASSERT_EQ(3u, f.switches.size());
    EXPECT_EQ(0u, f.switches[1].ip);
    ASSERT_EQ(3u, f.links.size());
    std::size_t devices = 0;
    for (std::size_t k = 0; k < 3; ++k) {
        const auto& s = f.switches[k];
        const auto& types = s.get<sim::port_state>().active;
        EXPECT_EQ(TV_PORT_TYPE_T, types[0].type);
        EXPECT_EQ(TV_PORT_TYPE_T, types[1].type);
        EXPECT_TRUE(f.remote_of(k, 1));
        for (std::size_t p = 2; p < 16; ++p) {
            devices += s.ports[p].devices.size();
            if (s.ports[p].devices.size() > 1) {
                EXPECT_EQ(TV_PORT_TYPE_FL, types[p].type);
            }
        }
    }
    EXPECT_EQ(50u, devices);
    // sw1 holds 17: two on each of ports 3 to 5, a loop; one on each of the others.
    const auto& first = f.switches[0];
    EXPECT_EQ(2u, first.ports[4].devices.size());
    EXPECT_EQ(0x02, first.ports[4].devices[1].alpa);
    ASSERT_EQ(1u, first.ports[5].devices.size());
    EXPECT_EQ(0, first.ports[5].devices[0].alpa);
    EXPECT_EQ(TV_PORT_TYPE_F, first.get<sim::port_state>().active[5].type);
}

}  // namespace
