// Name server and initiators against a scripted switch: both halves of every query on the
// wire, the two ends of a walk, names at the edge of their fields, and initiator tables that
// claim more than they hold.
#include <array>
#include <cstring>

#include "support/switch_test.h"
#include "support/test_addresses.h"

namespace {

using tvtest::bytes;
using tvtest::name_server_port;
using tvtest::name_server_refusal;
using tvtest::reply;


class name_server : public tvtest::switch_test {
protected:
    name_server() : switch_test(tvtest::addr::name_server_switch) {}
};

TEST_F(name_server, walk_asks_for_both_halves_and_stops_where_it_started) {
    sw.script({name_server_port(0x010100), reply(520), name_server_port(0x010200), reply(520),
               name_server_port(0x010300), reply(520), name_server_port(0x010100), reply(520)});
    tv_nameserver_list list{};
    ASSERT_EQ(0, tv_get_nameserverdata(ctx, &list));
    ASSERT_EQ(3, list.count);
    EXPECT_EQ(0x010300u, list.entries[2].port_id);
    // Four objects, two queries each, each half asking for the object after the last one.
    ASSERT_EQ(8u, sw.count());
    const std::array<std::uint32_t, 4> after{0, 0x010100, 0x010200, 0x010300};
    for (std::size_t i = 0; i < 8; ++i) {
        const bytes q = request(i);
        EXPECT_EQ(520u, q.size());
        EXPECT_EQ(2u, tv::wire::get_be32(q, 16)) << i;
        EXPECT_EQ(i % 2, tv::wire::get_be16(q, 24)) << i;
        EXPECT_EQ(after[i / 2], tv::wire::get_be32(q, 28)) << i;
    }
    tv_free_nameserverdata(&list);
    EXPECT_EQ(nullptr, list.entries);
    tv_free_nameserverdata(nullptr);

    // The end of the list ends a walk; another refusal, or a failed second half, empties it.
    sw.script({name_server_port(0x010100), reply(520), name_server_refusal(0x12), name_server_port(0x010100),
               reply(520), name_server_refusal(0x0B), name_server_port(0x010100), tvtest::refused(0x01)});
    ASSERT_EQ(0, tv_get_nameserverdata(ctx, &list));
    EXPECT_EQ(1, list.count);
    tv_free_nameserverdata(&list);
    EXPECT_EQ(200, tv_get_nameserverdata(ctx, &list));
    EXPECT_EQ(nullptr, list.entries);
    EXPECT_EQ(201, tv_get_nameserverdata(ctx, &list));
    EXPECT_EQ(0, list.count);
}

TEST_F(name_server, names_at_the_edge_of_their_fields_and_objects_that_are_not_there) {
    const std::string long_name(255, 'p');
    reply p = name_server_port(0x10C2E8);
    p.u8(40, 255).raw(41, bytes(long_name.begin(), long_name.end()));
    reply n(520);
    n.u8(36, 0).raw(37, {'x', 'y'}).be32(300, 10).be32(304, 0).be32(308, 1).be32(312, 7);
    sw.script({p, n, name_server_refusal(0x12), name_server_refusal(0x07)});
    tv_nameserver_entry e;
    ASSERT_EQ(0, tv_get_nameserverentry(ctx, 0x10C2E8, &e));
    EXPECT_EQ(long_name, std::string(e.port_symname, sizeof e.port_symname));  // no terminator
    EXPECT_STREQ("", e.node_symname);
    EXPECT_EQ(0x0A000107u, e.ip_addr);
    EXPECT_EQ(1u, tv::wire::get_be32(request(1), 16));  // the object at the address itself

    std::memset(&e, 0xAB, sizeof e);
    EXPECT_EQ(301, tv_get_nameserverentry(ctx, 0x10C2E9, &e));
    EXPECT_EQ(0u, e.port_id);
    EXPECT_EQ(0, e.port_symname[0]);
    tv_nameserver_entry* raw = &e;
    EXPECT_EQ(200, tv_snsgetall(ctx, 1, &raw, 0));
    EXPECT_EQ(nullptr, raw);
}

TEST_F(name_server, initiators_up_to_the_room_of_the_table) {
    reply full(380);
    full.u8(22, 16).u8(39, 15).u8(55, 0xEF).be32(116, 0x100F).raw(240, {0x20}).raw(368, {0x21});
    reply too_many(380);
    too_many.u8(22, 17).u8(24, 5);
    sw.script({full, too_many});
    tv_initiators t;
    ASSERT_EQ(0, tv_get_initiators(ctx, &t));
    EXPECT_EQ(16, t.count);
    EXPECT_EQ(15, t.port[15]);
    EXPECT_EQ(0xEF, t.alpa[15]);
    EXPECT_EQ(0x100Fu, t.value[15]);
    EXPECT_EQ(0x20, t.node_wwn[15][0]);
    EXPECT_EQ(0x21, t.port_wwn[15][0]);
    EXPECT_EQ(0x61u, tv::wire::get_be32(request(0), 16));
    // More than fit: refused, and nothing of it kept.
    EXPECT_EQ(200, tv_get_initiators(ctx, &t));
    EXPECT_EQ(0, t.count);
    EXPECT_EQ(0, t.port[0]);
}

TEST(calc_portwwn, by_the_naa_of_the_node_wwn) {
    using wwn = std::array<std::uint8_t, 8>;
    const std::array<std::tuple<wwn, std::uint32_t, wwn, int32_t>, 3> cases{{
        {{0x10, 0, 0, 0x11, 0x22, 0x33, 0x44, 0x55}, 5, {0x20, 5, 0, 0x11, 0x22, 0x33, 0x44, 0x55}, 0},
        {{0x5a, 0xbc, 0xde, 0xf0, 0x12, 0x34, 0x56, 0x78}, 0x11A, {0x30, 0, 0x01, 0xa0, 0x12, 0x34, 0x56, 0x78}, 0},
        {{0x20, 0, 0, 0x11, 0x22, 0x33, 0x44, 0x55}, 5, {}, 301},
    }};
    for (const auto& [node, port, expected, status] : cases) {
        wwn out;
        out.fill(0xEE);
        EXPECT_EQ(status, tv_calc_portwwn(out.data(), node.data(), port));
        EXPECT_EQ(expected, out);
    }
    EXPECT_EQ(0, tv_calc_portwwn(nullptr, std::get<0>(cases[0]).data(), 1));
}

}  // namespace
