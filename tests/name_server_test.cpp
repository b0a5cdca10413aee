// Name server and initiators against a scripted switch: both halves of every query on the
// wire, the two ends of a walk, the fields of an object, and initiator tables that claim more
// than they hold.
#include <array>
#include <cstring>

#include "support/switch_test.h"
#include "support/test_addresses.h"

namespace {

using tvtest::bytes;
using tvtest::reply;

bytes wwn(std::uint8_t head, std::uint32_t id) {
    return {head, 0, 0, 0, 0x5e, static_cast<std::uint8_t>(id >> 16),
            static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)};
}

reply port_half(std::uint32_t id, std::uint8_t port = 1, std::uint8_t type = 0x02) {
    reply r(520);
    r.u8(27, port).u8(28, type).u8(29, static_cast<std::uint8_t>(id >> 16))
        .u8(30, static_cast<std::uint8_t>(id >> 8)).u8(31, static_cast<std::uint8_t>(id))
        .raw(32, wwn(0x21, id));
    return r;
}

reply node_half(std::uint32_t id) {
    reply r(520);
    r.raw(28, wwn(0x20, id));
    return r;
}

reply refusal(std::uint8_t reason) {
    reply r(520);
    r.u8(21, 1).u8(23, reason);
    return r;
}

class name_server : public tvtest::switch_test {
protected:
    name_server() : switch_test(tvtest::addr::name_server_switch) {}
};

TEST_F(name_server, walk_asks_for_both_halves_and_stops_where_it_started) {
    sw.script({port_half(0x010100), node_half(0x010100), port_half(0x010200), node_half(0x010200),
               port_half(0x010300), node_half(0x010300), port_half(0x010100), node_half(0x010100)});
    tv_nameserver_list list{};
    ASSERT_EQ(0, tv_get_nameserverdata(ctx, &list));
    ASSERT_EQ(3, list.count);
    EXPECT_EQ(0x010100u, list.entries[0].port_id);
    EXPECT_EQ(0x010300u, list.entries[2].port_id);
    EXPECT_EQ(0x03, list.entries[2].node_wwn[6]);

    // Four objects, two queries each, each half asking for the object after the last one.
    ASSERT_EQ(8u, sw.count());
    const std::array<std::uint32_t, 4> after{0, 0x010100, 0x010200, 0x010300};
    for (std::size_t i = 0; i < 8; ++i) {
        const bytes q = request(i);
        EXPECT_EQ(520u, q.size());
        EXPECT_EQ(TV_CMD_NAME_SERVER, tv::wire::get_be16(q, 8));
        EXPECT_EQ(2u, tv::wire::get_be32(q, 16)) << i;
        EXPECT_EQ(i % 2, tv::wire::get_be16(q, 24)) << i;
        EXPECT_EQ(after[i / 2], tv::wire::get_be32(q, 28)) << i;
    }
    tv_free_nameserverdata(&list);
    EXPECT_EQ(0, list.count);
    EXPECT_EQ(nullptr, list.entries);
    tv_free_nameserverdata(nullptr);
}

TEST_F(name_server, the_end_of_the_list_ends_a_walk_and_a_failure_empties_it) {
    sw.script({port_half(0x010100), node_half(0x010100), port_half(0x010200), node_half(0x010200),
               refusal(0x12)});
    tv_nameserver_list list{};
    ASSERT_EQ(0, tv_get_nameserverdata(ctx, &list));
    EXPECT_EQ(2, list.count);
    EXPECT_EQ(5u, sw.count());
    tv_free_nameserverdata(&list);

    // Another refusal, or a failed second half, leaves nothing.
    sw.script({port_half(0x010100), node_half(0x010100), refusal(0x0B), port_half(0x010100),
               tvtest::refused(0x01)});
    EXPECT_EQ(200, tv_get_nameserverdata(ctx, &list));
    EXPECT_EQ(0, list.count);
    EXPECT_EQ(nullptr, list.entries);
    EXPECT_EQ(201, tv_get_nameserverdata(ctx, &list));
    EXPECT_EQ(nullptr, list.entries);
}

TEST_F(name_server, one_object_with_every_field) {
    const std::string long_name(255, 'p');
    reply p = port_half(0x10C2E8, 2, 0x82);
    p.u8(40, 255).raw(41, bytes(long_name.begin(), long_name.end()));
    reply n = node_half(0x10C2E8);
    n.u8(36, 0).raw(37, {'x', 'y'});
    n.be32(292, 0x11).be32(296, 0x22);
    n.be32(300, 10).be32(304, 0).be32(308, 1).be32(312, 7).be32(316, 0x0C);
    n.be32(320, 1u << 8).be32(324, 1u << 0);
    sw.script({p, n, refusal(0x12), refusal(0x07)});
    tv_nameserver_entry e;
    ASSERT_EQ(0, tv_get_nameserverentry(ctx, 0x10C2E8, &e));
    EXPECT_EQ(2, e.port);
    EXPECT_EQ(0x10C2E8u, e.port_id);
    EXPECT_EQ(0x82, e.port_type);
    EXPECT_EQ(0xE8, e.port_wwn[7]);
    EXPECT_EQ(0x20, e.node_wwn[0]);
    EXPECT_EQ(long_name, std::string(e.port_symname, sizeof e.port_symname));
    EXPECT_STREQ("", e.node_symname);
    EXPECT_EQ(0x0A000107u, e.ip_addr);
    EXPECT_EQ(0x0Cu, e.cos);
    EXPECT_EQ(0x22u, e.ipa[1]);
    EXPECT_EQ(1u << 8, e.fc4_types[0]);
    EXPECT_EQ(1u, e.fc4_types[1]);
    // Asked for the object at the address itself, both halves.
    EXPECT_EQ(1u, tv::wire::get_be32(request(0), 16));
    EXPECT_EQ(1u, tv::wire::get_be16(request(1), 24));
    EXPECT_EQ(0x10C2E8u, tv::wire::get_be32(request(1), 28));

    // No such object: 301 and a zeroed record; another refusal: 200.
    std::memset(&e, 0xAB, sizeof e);
    EXPECT_EQ(301, tv_get_nameserverentry(ctx, 0x10C2E9, &e));
    EXPECT_EQ(0u, e.port_id);
    EXPECT_EQ(0, e.port_symname[0]);
    tv_nameserver_entry* raw = &e;
    EXPECT_EQ(200, tv_snsgetall(ctx, 1, &raw, 0));
    EXPECT_EQ(nullptr, raw);
}

TEST_F(name_server, initiators_up_to_the_room_of_the_table) {
    reply r(380);
    r.u8(22, 16);
    for (std::uint8_t i = 0; i < 16; ++i)
        r.u8(24 + i, i).u8(40 + i, static_cast<std::uint8_t>(0xE0 + i)).be32(56 + 4 * i, 0x1000u + i)
            .raw(120 + 8 * i, wwn(0x20, i)).raw(248 + 8 * i, wwn(0x21, i));
    reply too_many(380);
    too_many.u8(22, 17).u8(24, 5);
    sw.script({r, too_many});
    tv_initiators t;
    ASSERT_EQ(0, tv_get_initiators(ctx, &t));
    EXPECT_EQ(16, t.count);
    EXPECT_EQ(15, t.port[15]);
    EXPECT_EQ(0xEF, t.alpa[15]);
    EXPECT_EQ(0x100Fu, t.value[15]);
    EXPECT_EQ(0x20, t.node_wwn[15][0]);
    EXPECT_EQ(0x0F, t.port_wwn[15][7]);
    EXPECT_EQ(0x61u, tv::wire::get_be32(request(0), 16));
    EXPECT_EQ(28u, request(0).size());

    // More than fit: refused, and nothing of it kept.
    EXPECT_EQ(200, tv_get_initiators(ctx, &t));
    EXPECT_EQ(0, t.count);
    EXPECT_EQ(0, t.port[0]);
}

TEST(calc_portwwn, by_the_naa_of_the_node_wwn) {
    struct example {
        std::array<std::uint8_t, 8> node;
        std::uint32_t port;
        std::array<std::uint8_t, 8> port_wwn;
        int32_t status;
    };
    const std::array<example, 3> cases{{
        {{0x10, 0, 0, 0x11, 0x22, 0x33, 0x44, 0x55}, 5, {0x20, 5, 0, 0x11, 0x22, 0x33, 0x44, 0x55}, 0},
        {{0x5a, 0xbc, 0xde, 0xf0, 0x12, 0x34, 0x56, 0x78}, 0x11A,
         {0x30, 0, 0x01, 0xa0, 0x12, 0x34, 0x56, 0x78}, 0},
        {{0x20, 0, 0, 0x11, 0x22, 0x33, 0x44, 0x55}, 5, {}, 301},
    }};
    for (const auto& c : cases) {
        std::array<std::uint8_t, 8> out;
        out.fill(0xEE);
        EXPECT_EQ(c.status, tv_calc_portwwn(out.data(), c.node.data(), c.port));
        EXPECT_EQ(c.port_wwn, out);
        EXPECT_EQ(c.status, tv_api_errno);
    }
    EXPECT_EQ(0, tv_calc_portwwn(nullptr, cases[0].node.data(), 1));
}

}  // namespace
