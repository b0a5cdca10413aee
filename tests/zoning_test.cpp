// Port and WWN zoning against a scripted switch: the block arithmetic (zone ids across blocks,
// the ports a bitmap covers, the zone count of a name-server set), what a write changes in the
// block it sends back, SL writes that only add ports, the WWN table's pages, and the refusals
// that send nothing.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/switch_test.h"
#include "support/test_addresses.h"

namespace {

using tvtest::bytes;
using tvtest::port_types;
using tvtest::reply;
using subs = std::vector<std::uint32_t>;

// A block answer: P ports a bitmap, the enabled mask and the count byte.
reply block(std::uint8_t p, std::uint32_t mask = 0, std::uint8_t count = 0) {
    reply r(160);
    r.u8(25, p).be32(20, mask).u8(27, count);
    return r;
}
// An SL read answer: the zone id of every port.
reply sl_ids(const std::vector<std::uint16_t>& ids) {
    reply r(76);
    r.u8(20, static_cast<std::uint8_t>(ids.size()));
    for (std::size_t i = 0; i < ids.size(); ++i)
        r.raw(24 + 2 * i, {static_cast<std::uint8_t>(ids[i] >> 8), static_cast<std::uint8_t>(ids[i])});
    return r;
}
bytes wwn_of(std::uint8_t n) { return {0x21, 0, 0, 0, 0x5e, 0, 0, n}; }
// A page of the WWN table: WWNs wwn_of(first + i), entry i a member of zone `zone`.
reply wwn_page(std::int32_t total, std::uint32_t first, std::uint32_t entries, std::uint32_t zone = 3) {
    reply r(356);
    r.be32(20, first).be32(24, static_cast<std::uint32_t>(total));
    for (std::uint32_t i = 0; i < entries; ++i)
        r.raw(32 + 40 * i, wwn_of(static_cast<std::uint8_t>(first + i))).be32(40 + 40 * i + 4 * (zone >> 5), 1u << (zone & 31));
    return r;
}

class zoning : public tvtest::switch_test {
protected:
    zoning() : switch_test(tvtest::addr::zoning_switch) {}
    static std::uint32_t be32(const bytes& m, std::size_t off) { return tv::wire::get_be32(m, off); }
    static std::uint16_t be16(const bytes& m, std::size_t off) { return tv::wire::get_be16(m, off); }
    static std::vector<std::uint32_t> ports(const tv_port_zone& z) { return {z.ports, z.ports + z.count}; }
};

TEST_F(zoning, zones_are_found_in_their_block_and_bitmaps_are_read_to_p) {
    sw.script({block(16, 0x5).raw(28 + 16, {0x81, 0x02}), block(20).raw(28 + 40, {0xFF, 0xFF, 0x0F})});
    tv_port_zone hd{TV_ZONE_HD, 2, 0, 0, nullptr};
    ASSERT_EQ(0, tv_get_port_zone(ctx, &hd, 1));
    EXPECT_EQ(1u, hd.enabled);
    EXPECT_EQ((std::vector<std::uint32_t>{0, 7, 9}), ports(hd));
    tv_port_zone* other = tv_extract_zone(nullptr, 1);  // from the same answer
    ASSERT_NE(nullptr, other);
    EXPECT_EQ(1u, other->id);
    EXPECT_EQ(0u, other->enabled);
    EXPECT_EQ(0u, other->count);
    tv_free_port_zone(other, 1);
    EXPECT_EQ(nullptr, tv_extract_zone(&hd, 16));
    EXPECT_EQ(TV_ERR_ARG, tv_api_errno);

    // Name-server zone 37 is zone 5 of the block from 32; with P = 20 only 2 bytes count.
    tv_port_zone ns{TV_ZONE_NS, 37, 0, 0, nullptr};
    ASSERT_EQ(0, tv_get_port_zone(ctx, &ns, 0));
    EXPECT_EQ(37u, ns.id);
    EXPECT_EQ(16u, ns.count);
    EXPECT_EQ(15u, ns.ports[15]);
    EXPECT_EQ((subs{0x28, 0x2D}), subcommands());
    EXPECT_EQ(0, at(request(0), 26));
    EXPECT_EQ(32, at(request(1), 26));
    EXPECT_EQ(160u, request(1).size());
    tv_free_port_zone(&hd, 0);
    tv_free_port_zone(&ns, 0);
    EXPECT_EQ(nullptr, ns.ports);
}

TEST_F(zoning, name_server_sets_count_from_the_first_block) {
    tv_port_zone_set set{TV_ZONE_NS, 0, nullptr};
    const auto count_of = [&](std::vector<tvtest::step> answers) {
        sw.script(std::move(answers));
        EXPECT_EQ(0, tv_get_port_zone_set(ctx, &set, 0));
        const std::uint32_t n = set.count;
        tv_free_port_zone_set(&set, 0);
        return n;
    };
    EXPECT_EQ(1u, count_of({block(16, 1, 1)}));
    EXPECT_EQ(2u, count_of({block(16, 3, 1)}));
    EXPECT_EQ(0u, count_of({block(16, 1, 0)}));
    EXPECT_EQ(3u, sw.count());  // one block each

    // 41 zones in three blocks; zone 37 is zone 5 of the third.
    sw.script({block(16, 0, 40), block(16, 0, 7), block(16, 1u << 5, 0).raw(28 + 40, {0x08})});
    ASSERT_EQ(0, tv_get_port_zone_set(ctx, &set, 0));
    ASSERT_EQ(41u, set.count);
    EXPECT_EQ(37u, set.zones[37]->id);
    EXPECT_EQ(2u, set.zones[37]->type);
    EXPECT_EQ(1u, set.zones[37]->enabled);
    EXPECT_EQ((std::vector<std::uint32_t>{3}), ports(*set.zones[37]));
    EXPECT_EQ(40u, set.zones[40]->id);
    EXPECT_EQ(16, at(request(4), 26));
    EXPECT_EQ(32, at(request(5), 26));
    tv_free_port_zone_set(&set, 0);

    // Hard zones are always 16, one block, whatever the count byte says; a failure leaves the set.
    set.type = TV_ZONE_HD;
    sw.script({block(16, 0, 40), tvtest::refused(0x0E)});
    ASSERT_EQ(0, tv_get_port_zone_set(ctx, &set, 0));
    EXPECT_EQ(16u, set.count);
    EXPECT_EQ(7u, sw.count());
    tv_free_port_zone_set(&set, 0);
    EXPECT_EQ(TV_ERR_LOGIN_REQUIRED, tv_get_port_zone_set(ctx, &set, 0));
    EXPECT_EQ(0u, set.count);
    EXPECT_EQ(nullptr, set.zones);
}

TEST_F(zoning, a_write_sends_back_the_block_with_one_zone_changed) {
    // Name-server zone 18 lives in the block from 16; zone 19 and byte 24 must come back as read.
    sw.script({block(16, 0x1).u8(24, 0x77).raw(28 + 16, {0xFF, 0xFF}).raw(28 + 24, {0x55}), block(16),
               reply(24)});
    std::uint32_t members[] = {1, 9};
    tv_port_zone zone{TV_ZONE_NS, 18, 1, 2, members};
    ASSERT_EQ(0, tv_set_port_zone(ctx, &zone, 1));
    EXPECT_EQ((subs{0x2D, 0x2F, 0x33}), subcommands());
    const bytes w = request(1);
    EXPECT_EQ(16, at(w, 26));
    EXPECT_EQ(0x5u, be32(w, 20));
    EXPECT_EQ(0x77, at(w, 24));
    EXPECT_EQ(0x02, at(w, 28 + 16));
    EXPECT_EQ(0x02, at(w, 28 + 17));
    EXPECT_EQ(0x55, at(w, 28 + 24));
    EXPECT_EQ(24u, request(2).size());

    // Enabling every hard zone: block 0 written back with the whole mask, then saved.
    sw.script({block(16, 0x8001), block(16), reply(24)});
    ASSERT_EQ(0, tv_enable_zoning(ctx, TV_ZONE_HD, 1));
    EXPECT_EQ(0xFFFFu, be32(request(4), 20));
    // Disabling name-server zones walks every block the count byte announces, and saves nothing.
    sw.script({block(16, 0xFFFF, 20), block(16), block(16, 0x1), block(16)});
    ASSERT_EQ(0, tv_disable_zoning(ctx, TV_ZONE_NS, 0));
    EXPECT_EQ((subs{0x2D, 0x2F, 0x33, 0x26, 0x3A, 0x31, 0x2D, 0x2F, 0x2D, 0x2F}), subcommands());
    EXPECT_EQ(0u, be32(request(7), 20));
    EXPECT_EQ(16, at(request(9), 26));
}

TEST_F(zoning, refusals_send_nothing_or_no_write) {
    char* logged = nullptr;
    std::size_t logged_len = 0;
    std::FILE* log = open_memstream(&logged, &logged_len);
    tv_api_open(log);
    EXPECT_EQ(44u, tv_zone_type_to_subcmd(0x203, 0));
    EXPECT_EQ(0x7Au, tv_zone_type_to_subcmd(4, 1));
    EXPECT_EQ(0u, tv_zone_type_to_subcmd(5, 0));
    EXPECT_EQ(TV_ERR_ARG, tv_api_errno);
    std::uint32_t far[] = {64};
    std::uint32_t p24[] = {24};
    tv_port_zone bad_type{5, 0, 1, 0, nullptr};
    tv_port_zone hd16{TV_ZONE_HD, 16, 1, 0, nullptr};
    tv_port_zone ns256{TV_ZONE_NS, 256, 1, 0, nullptr};
    tv_port_zone port64{TV_ZONE_NS, 3, 1, 1, far};
    tv_port_zone sl_port24{TV_ZONE_SL, 3, 1, 1, p24};
    EXPECT_EQ(TV_ERR_ARG, tv_get_port_zone(ctx, &bad_type, 0));
    EXPECT_EQ(TV_ERR_ARG, tv_set_port_zone(ctx, &bad_type, 0));
    EXPECT_EQ(TV_ERR_PARAM, tv_set_port_zone(ctx, &hd16, 0));
    EXPECT_EQ(TV_ERR_PARAM, tv_get_port_zone(ctx, &ns256, 0));
    EXPECT_EQ(TV_ERR_PARAM, tv_set_port_zone(ctx, &port64, 0));
    EXPECT_EQ(TV_ERR_PARAM, tv_set_port_zone(ctx, nullptr, 0));
    EXPECT_EQ(TV_ERR_PARAM, tv_set_port_zone(ctx, &sl_port24, 0));
    EXPECT_EQ(TV_ERR_ARG, tv_disable_zoning(ctx, TV_ZONE_SL, 0));
    EXPECT_EQ(TV_ERR_PARAM, tv_set_wwn_zone(ctx, 256, wwn_of(1).data(), "x", 0));
    EXPECT_EQ(0, tv_get_port_zone(ctx, nullptr, 0));
    EXPECT_EQ(TV_ERR_ARG, tv_get_sl_zone(ctx, nullptr, 0));
    EXPECT_EQ(0u, sw.count());
    std::fclose(log);
    EXPECT_EQ("zone type: 5 not supported\nzone type: 5 not supported\nzone type: 5 not supported\n",
              std::string(logged, logged_len));
    std::free(logged);
    tv_api_open(nullptr);

    // A port the switch's bitmaps do not cover: the block is read, nothing is written.
    std::uint32_t p16[] = {16};
    tv_port_zone beyond_p{TV_ZONE_HD, 1, 1, 1, p16};
    sw.script({block(16)});
    EXPECT_EQ(TV_ERR_PARAM, tv_set_port_zone(ctx, &beyond_p, 0));
    EXPECT_EQ(1u, sw.count());
}

TEST_F(zoning, sl_zone_sets_and_writes_that_only_add_ports) {
    const bytes types{4, 4, 4, 4, 1, 1, 1, 1};
    const std::vector<std::uint16_t> ids{1, 1, 2, 1, 9, 9, 9, 9};
    sw.script({port_types(types), port_types(types), sl_ids(ids)});
    tv_port_zone_set set{TV_ZONE_SL, 0, nullptr};
    ASSERT_EQ(0, tv_get_sl_zone_set(ctx, &set, 0));
    ASSERT_EQ(3u, set.count);
    EXPECT_EQ(1u, set.zones[0]->id);
    EXPECT_EQ((std::vector<std::uint32_t>{0, 1, 3}), ports(*set.zones[0]));
    EXPECT_EQ(2u, set.zones[1]->id);
    EXPECT_EQ(0xFFFFu, set.zones[2]->id);
    EXPECT_EQ((std::vector<std::uint32_t>{4, 5, 6, 7}), ports(*set.zones[2]));
    EXPECT_EQ(4u, set.zones[2]->type);
    EXPECT_EQ(8, at(request(2), 20));
    std::uint16_t list[8];
    EXPECT_EQ(3, tv_get_zone_list(list));
    EXPECT_EQ(0xFFFF, list[2]);
    tv_free_port_zone_set(&set, 0);

    // Port 0 joins zone 2; every other port keeps the zone it had.
    sw.script({port_types(types), sl_ids(ids), reply(72)});
    std::uint32_t port0[] = {0};
    tv_port_zone zone{TV_ZONE_SL, 2, 1, 1, port0};
    ASSERT_EQ(0, tv_set_port_zone(ctx, &zone, 0));
    const bytes w = request(5);
    EXPECT_EQ(72u, w.size());
    EXPECT_EQ(0x78u, be32(w, 16));
    const std::vector<std::uint16_t> sent{2, 1, 2, 1, 9, 9, 9, 9};
    for (std::size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i], be16(w, 20 + 2 * i)) << i;

    // A port the switch does not have, and a count beyond the message's room.
    port0[0] = 8;
    sw.script({port_types(types), sl_ids(ids), port_types(types), reply(76).u8(20, 25)});
    EXPECT_EQ(TV_ERR_PARAM, tv_set_sl_zone(ctx, &zone, 0));
    tv_sl_port_zones per_port{};
    EXPECT_EQ(TV_ERR_SWITCH, tv_get_sl_port_zone(ctx, &per_port));
    EXPECT_EQ(10u, sw.count());
}

TEST_F(zoning, wwn_pages_lookups_and_entry_writes) {
    tv_wwn_zone_page page{};
    sw.script({wwn_page(11, 0, 8), wwn_page(11, 8, 3), wwn_page(11, 16, 0)});
    ASSERT_EQ(0, tv_get_wwn_zone(ctx, 0, &page));
    EXPECT_EQ(7, page.wwn[7][7]);
    ASSERT_EQ(0, tv_get_wwn_zone(ctx, 8, &page));
    EXPECT_EQ(8u, page.start);
    EXPECT_EQ(10, page.wwn[2][7]);
    EXPECT_EQ(3, page.wwn[3][7]);  // left from the first page
    ASSERT_EQ(0, tv_get_wwn_zone(ctx, 16, &page));
    EXPECT_EQ(16u, page.start);
    EXPECT_EQ(11, page.total);
    EXPECT_EQ(10, page.wwn[2][7]);
    EXPECT_EQ(36u, request(0).size());
    EXPECT_EQ(8u, be32(request(1), 20));

    // Without -i the WWN ends up in exactly the one zone: zone 37 is bit 5 of word 1.
    sw.script({reply(356)});
    ASSERT_EQ(0, tv_set_wwn_zone(ctx, 37, wwn_of(1).data(), "name", 0));
    const bytes plain = request(3);
    EXPECT_EQ(356u, plain.size());
    EXPECT_EQ((subs{60, 60, 60, 64}), subcommands());
    EXPECT_EQ(1u, be32(plain, 24));
    EXPECT_EQ(wwn_of(1), bytes(plain.begin() + 32, plain.begin() + 40));
    for (std::size_t word = 0; word < 8; ++word) EXPECT_EQ(word == 1 ? 0x20u : 0u, be32(plain, 40 + 4 * word));

    // Inclusive: the lookup stops at the page holding the WWN, which keeps zones 3 and 40.
    sw.script({wwn_page(20, 0, 8), wwn_page(20, 8, 8).be32(32 + 40 * 2 + 8 + 4, 1u << 8), reply(356)});
    ASSERT_EQ(0, tv_set_wwn_zone(ctx, 0, wwn_of(10).data(), nullptr, 1));
    ASSERT_EQ(7u, sw.count());
    EXPECT_EQ(0x9u, be32(request(6), 40));
    EXPECT_EQ(0x100u, be32(request(6), 44));

    // Removal: the last zone leaves an empty bitmap (an unknown WWN: zoning_cli_test).
    sw.script({wwn_page(3, 0, 3), reply(356)});
    ASSERT_EQ(0, tv_rem_wwn_zone(ctx, 3, wwn_of(2).data(), nullptr));
    for (std::size_t word = 0; word < 8; ++word) EXPECT_EQ(0u, be32(request(8), 40 + 4 * word));
    // A lookup that fails is not taken for an empty entry: an inclusive add would lose zones.
    sw.script({tvtest::refused(0x01)});
    EXPECT_EQ(TV_ERR_NOT_RECOGNIZED, tv_set_wwn_zone(ctx, 0, wwn_of(1).data(), nullptr, 1));
    const subs all = subcommands();
    EXPECT_EQ((subs{60, 64, 60}), subs(all.begin() + 7, all.end()));
}

}  // namespace
