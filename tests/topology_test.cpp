// Topology, links and routing against a scripted switch: where the remote queries of the link
// list are addressed, the paging of a long topology table, a switch that claims more linked
// ports than a page holds, and the results that only a scripted answer can spoil.
#include <array>
#include <tuple>

#include "support/switch_test.h"
#include "support/test_addresses.h"

namespace {

using tvtest::bytes;
using tvtest::reply;

reply version_reply(std::uint8_t id) {
    reply r(88);
    r.raw(60, {0x10, 0, 0, 0, 0x5e, id, 0, 0});
    return r;
}

// A topology page of a switch with `total` ports; each link is (entry, remote chassis, local
// address, remote address).
using link_entry = std::tuple<std::size_t, std::uint8_t, std::uint32_t, std::uint32_t>;
reply topology_page(std::uint8_t total, const std::vector<link_entry>& linked) {
    reply r(224);
    r.u8(21, total).u8(22, 0x0A).u8(23, 0x0B).be32(24, 0x104000);
    for (const auto& [i, chassis, local, remote] : linked)
        r.u8(28 + 12 * i, chassis).u8(29 + 12 * i, 0x11).be32(32 + 12 * i, local).be32(36 + 12 * i, remote);
    return r;
}

class topology : public tvtest::switch_test {
protected:
    topology() : switch_test(tvtest::addr::topology_switch) {}
    static std::uint32_t dest(const bytes& msg) { return tv::wire::get_be24(msg, 5); }
};

TEST_F(topology, links_read_each_remote_switch_through_the_context) {
    sw.script({version_reply(1),
               topology_page(8, {{2, 3, 0x104200, 0x10C200}, {5, 2, 0x104500, 0x108700}}),
               version_reply(3), tvtest::refused()});
    tv_switch_links links{};
    // The last remote read failed: its status is the walk's, and its link stays without a WWN.
    EXPECT_EQ(200, tv_get_switch_links(ctx, &links));
    ASSERT_EQ(2, links.count);
    EXPECT_EQ(0x11, links.links[0].info1);  // the ports and WWNs: the links report of telvar_cli_test
    EXPECT_EQ((std::array<std::uint8_t, 8>{}), std::to_array(links.links[1].remote_wwn));

    // The remote reads go to the remote switches; the context ends at the last local end.
    ASSERT_EQ(4u, sw.count());
    EXPECT_EQ(0x10C000u, dest(request(2)));
    EXPECT_EQ(0x108000u, dest(request(3)));
    EXPECT_EQ(TV_CMD_VERSION, tv::wire::get_be16(request(3), 8));
    EXPECT_EQ(0x104000u, tv_get_dest_addr(ctx));
    EXPECT_EQ(0x108000u, previous_dest_addr);
    tv_free_switch_links(&links);
    EXPECT_EQ(nullptr, links.links);
    tv_free_switch_links(&links);
}

TEST_F(topology, a_long_table_is_read_page_by_page_and_a_failed_page_keeps_nothing) {
    sw.script({version_reply(1), topology_page(20, {{15, 2, 0x104F00, 0x108000}}), version_reply(2),
               topology_page(20, {{1, 3, 0x105100, 0x10C100}}), version_reply(3)});
    tv_switch_links links{};
    ASSERT_EQ(0, tv_get_switch_links(ctx, &links));
    ASSERT_EQ(2, links.count);
    EXPECT_EQ(15u, links.links[0].port);
    EXPECT_EQ(17u, links.links[1].port);
    // The second page is asked for once the context is back on the local end of the link.
    EXPECT_EQ(0x10u, tv::wire::get_be32(request(3), 16));
    EXPECT_EQ(0x104000u, dest(request(3)));
    tv_free_switch_links(&links);

    tv_switch_links failed{};
    failed.count = 77;
    sw.script({version_reply(1), topology_page(20, {{15, 2, 0x104F00, 0x108000}}), version_reply(2),
               tvtest::refused(0x01), tvtest::refused()});
    EXPECT_EQ(201, tv_get_switch_links(ctx, &failed));
    EXPECT_EQ(nullptr, failed.links);
    EXPECT_EQ(77, failed.count);
    EXPECT_EQ(200, tv_get_switch_links(ctx, &failed));  // this switch's version
    EXPECT_EQ(nullptr, failed.links);

    const std::size_t before = sw.count();
    sw.script({version_reply(1), topology_page(0, {})});
    tv_switch_links none{};
    EXPECT_EQ(0, tv_get_switch_links(ctx, &none));
    EXPECT_EQ(0, none.count);
    EXPECT_EQ(before + 2, sw.count());
    tv_free_switch_links(&none);
}

TEST_F(topology, a_switch_claiming_255_linked_ports_is_read_within_each_page) {
    std::vector<link_entry> all;
    for (std::size_t i = 0; i < 16; ++i)
        all.emplace_back(i, 2, 0x104000 | i << 8, 0x108000 | i << 8);
    sw.set_fallback(topology_page(255, all));  // for every request, version requests included
    tv_switch_links links{};
    ASSERT_EQ(0, tv_get_switch_links(ctx, &links));
    ASSERT_EQ(255, links.count);
    for (std::uint32_t i = 0; i < 255; ++i) EXPECT_EQ(i % 16, links.links[i].remote_port);
    EXPECT_EQ(254u, links.links[254].port);
    EXPECT_EQ(1u + 16 + 255, sw.count());
    tv_free_switch_links(&links);
}

TEST_F(topology, a_failed_step_leaves_the_routing_table_and_the_node_name_result_empty) {
    std::array<std::uint8_t, sizeof(tv_port_steering)> before;
    tv_port_steering st;
    std::memset(&st, 0xAB, sizeof st);
    std::memcpy(before.data(), &st, sizeof st);
    sw.script({reply(220), tvtest::refused(), reply(520), tvtest::refused()});
    EXPECT_EQ(200, tv_get_port_steering(ctx, 3, &st));
    EXPECT_EQ(0, std::memcmp(before.data(), &st, sizeof st));
    EXPECT_EQ(3, at(request(0), 20));

    // The node-name query returns the exchange's result, not the status.
    EXPECT_EQ(520, tv_get_node_name(ctx, 0x10C201));
    EXPECT_EQ(4u, tv::wire::get_be32(request(2), 16));
    EXPECT_EQ(0x10C201u, tv::wire::get_be32(request(2), 28));
    EXPECT_EQ(0, tv_get_node_name(ctx, 1));
    EXPECT_EQ(200, tv_api_errno);
}

}  // namespace
