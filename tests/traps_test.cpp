// Trap configuration and trap events: against a scripted switch, what reaches the wire (the
// read-modify-write of the block, registrations, alerts) and what is read (events, bounded
// listener tables); against the simulator, that counters crossing thresholds reach listeners.
#include <arpa/inet.h>

#include <random>
#include <set>

#include "support/sim_fixture.h"
#include "support/switch_test.h"
#include "support/test_addresses.h"
#include "support/trap_message.h"
#include "switchsim/families/traps_family.h"

namespace {

using tvtest::bytes;
using tvtest::reply;
using subs = std::vector<std::uint32_t>;

bytes patterned_block() {
    std::mt19937 rng(12);
    bytes b(300);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng());
    return b;
}

reply read_reply(const bytes& block) { return std::move(reply(328).raw(24, block)); }

// A trap message with payload length field `length`, no command in its header.
bytes trap_msg(std::uint16_t length, std::uint32_t header_src, std::uint32_t word40) {
    return tvtest::trap_message({0, 0, 0, 0, header_src, 0, length, 0}, {word40, 7, 12, 1, 300, -4});
}

class traps : public tvtest::switch_test {
protected:
    traps() : switch_test(tvtest::addr::traps_switch) {}
};

TEST_F(traps, changes_write_back_the_block_with_only_their_bytes_changed) {
    const bytes block = patterned_block();
    sw.script({read_reply(block), reply(24), reply(24), read_reply(block), reply(24)});
    const tv_trap_config five{5, 1, 0x01020304, -2};
    ASSERT_EQ(0, tv_set_trap_config(ctx, 1, &five));
    const tv_trapping_status off{0, 2500};
    ASSERT_EQ(0, tv_set_trapping_status(ctx, 0, &off));
    EXPECT_EQ((subs{1, 4, 5, 1, 4}), subcommands());

    // Every byte outside the changed fields goes back as it was read.
    const auto unchanged_but = [&](const bytes& req, std::set<std::size_t> fields) {
        EXPECT_EQ(324u, req.size());
        for (std::size_t i = 0; i < 300; ++i)
            if (!fields.contains(i)) {
                EXPECT_EQ(block[i], req[20 + i]) << "block byte " << i;
            }
    };
    unchanged_but(request(1), {273, 160, 161, 162, 163, 32, 33, 34, 35});
    EXPECT_EQ(1, at(request(1), 20 + 273));
    EXPECT_EQ(0x01020304u, tv::wire::get_be32(request(1), 20 + 32));
    EXPECT_EQ(0xFFFFFFFEu, tv::wire::get_be32(request(1), 20 + 160));
    unchanged_but(request(4), {0, 4, 5, 6, 7});
    EXPECT_EQ(0, at(request(4), 20));
    EXPECT_EQ(2500u, tv::wire::get_be32(request(4), 24));

    // Reading: the saved set is sub-command 2, and a code is looked for among the 32.
    sw.script({read_reply(block), read_reply(block), reply(24)});
    tv_trap_config c{};
    ASSERT_EQ(0, tv_get_trap_config(ctx, 1, 31, &c));
    EXPECT_EQ(2u, subcommands().back());
    EXPECT_EQ(block[268 + 31], c.status);
    EXPECT_EQ(tv::wire::get_be32(block, 140 + 124), static_cast<std::uint32_t>(c.falling));
    EXPECT_EQ(301, tv_get_trap_config(ctx, 0, 32, &c));
    // An answer too short to hold a block is not taken for one.
    EXPECT_EQ(200, tv_set_trap_config(ctx, 1, &five));

    // Nothing is written after a failed read, and nothing sent for a code outside the block.
    const std::size_t sent = sw.count();
    sw.script({tvtest::refused(0x01)});
    EXPECT_EQ(201, tv_set_trap_config(ctx, 1, &five));
    const tv_trap_config outside{32, 1, 1, 1};
    EXPECT_EQ(301, tv_set_trap_config(ctx, 1, &outside));
    EXPECT_EQ(sent + 1, sw.count());
}

TEST_F(traps, listener_takes_event_source_by_the_length_field_and_unregisters) {
    sw.script({reply(32).u8(27, 2)});
    EXPECT_EQ(nullptr, tv_trap_createlistener(ctx));
    EXPECT_EQ(200, tv_api_errno);

    sw.script({reply(32)});
    tv_trap_listener* l = tv_trap_createlistener(ctx);
    ASSERT_NE(nullptr, l);
    const sockaddr_in where = l->ctx->local_addr;
    const bytes reg = sw.received().back();
    EXPECT_EQ(ntohl(where.sin_addr.s_addr), tv::wire::get_be32(reg, 20));
    EXPECT_EQ(ntohs(where.sin_port), tv::wire::get_be16(reg, 24));
    EXPECT_EQ(1, at(reg, 26));

    tv_trap_event e{};
    sw.send_to(where, trap_msg(32, 0x104000, 0xAB10C000));
    ASSERT_EQ(0, tv_trap_listen(l, 1000, &e));
    EXPECT_EQ(0x10C000u, e.source);
    EXPECT_EQ(7, e.unit);
    EXPECT_EQ(12, e.code);
    EXPECT_EQ(1, e.alert);
    EXPECT_EQ(300, e.value);
    EXPECT_EQ(-4, e.change);
    sw.send_to(where, trap_msg(31, 0x104000, 0x10C000));
    ASSERT_EQ(0, tv_trap_listen(l, 1000, &e));
    EXPECT_EQ(0x104000u, e.source);

    // A bad checksum and silence leave the event as it was.
    bytes spoiled = trap_msg(32, 1, 2);
    spoiled[47] ^= 1;
    sw.send_to(where, spoiled);
    EXPECT_EQ(110, tv_trap_listen(l, 1000, &e));
    EXPECT_EQ(106, tv_trap_listen(l, 0, &e));
    EXPECT_EQ(0x104000u, e.source);

    // A refused removal still releases, and reports nothing.
    sw.script({reply(32).u8(27, 2)});
    EXPECT_EQ(0, tv_trap_release_listener(ctx, l));
    const bytes unreg = sw.received().back();
    EXPECT_EQ(2, at(unreg, 26));
    EXPECT_EQ(ntohs(where.sin_port), tv::wire::get_be16(unreg, 24));
    EXPECT_EQ(301, tv_trap_release_listener(ctx, nullptr));
}

TEST_F(traps, alert_reaches_at_most_twelve_listeners_and_its_status_is_the_result) {
    tvtest::scripted_responder sink{tvtest::addr::traps_listener};
    reply table(172);
    table.be32(20, 200);  // more than the 12 that fit
    for (std::size_t i = 0; i < 12; ++i)
        table.be32(24 + 12 * i, ntohl(inet_addr(tvtest::addr::traps_listener))).u8(28 + 12 * i, 0x13).u8(29 + 12 * i, 0x88);
    sw.script({tvtest::refused(0x01), table});
    const tv_trap_counter counter{11, 1, 0, -7};
    EXPECT_EQ(0, tv_set_trap_counter(ctx, &counter));
    EXPECT_EQ((subs{0x80, 10}), subcommands());
    const bytes sent = request(0);
    EXPECT_EQ((bytes{11, 1, 0, 0, 0xFF, 0xFF, 0xFF, 0xF9}), bytes(sent.begin() + 20, sent.begin() + 28));
    ASSERT_TRUE(sink.wait_for(12));
    EXPECT_FALSE(sink.wait_for(13, std::chrono::milliseconds(200)));
    const bytes alert = sink.received()[0];
    ASSERT_EQ(48u, alert.size());
    EXPECT_TRUE(tv::checksum_ok(alert));
    EXPECT_EQ(bytes(16, 0), bytes(alert.begin(), alert.begin() + 16));
    EXPECT_EQ((bytes{1, 99, 1}), bytes(alert.begin() + 20, alert.begin() + 23));

    // Mode nonzero adds; an empty table sends nothing; a failed table read is the result.
    sw.script({reply(24), reply(172), reply(24)});
    const tv_trap_counter add{3, 1, 1, 5};
    EXPECT_EQ(0, tv_set_trap_counter(ctx, &add));
    EXPECT_EQ(0x82u, subcommands()[2]);
    EXPECT_EQ(106, tv_set_trap_counter(ctx, &add));
    EXPECT_EQ(12u, sink.count());
}

// The simulator: counters that cross thresholds send traps to every listener.
class traps_sim : public tvtest::fabric_test {
protected:
    traps_sim() : fabric_test(tvtest::addr::traps_base) {}
    std::size_t listeners() {
        return fab.server().with_fabric([](sim::fabric& f) { return f.switches[0].get<sim::trap_state>().listeners.size(); });
    }
    // The next event: the simulator's trap when one was raised, then the library's test alert.
    std::vector<int> codes_heard(tv_trap_listener* l, tv_trap_event& last) {
        std::vector<int> codes;
        tv_trap_event e{};
        while (tv_trap_listen(l, 300, &e) == 0) {
            codes.push_back(e.code);
            if (e.code != TV_TRAP_TEST_CODE) last = e;
        }
        return codes;
    }
};

TEST_F(traps_sim, crossings_of_enabled_codes_reach_every_listener) {
    tv_trap_listener* a = tv_trap_createlistener(ctx);
    tv_trap_listener* b = tv_trap_createlistener(ctx);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(2u, listeners());
    tv_trap_event e{};
    // Code 11 of sw1: enabled, rising 10, falling 2.
    const tv_trap_counter up{11, 1, 0, 25}, down{11, 1, 1, -23}, lower{11, 1, 1, -1}, other{0, 1, 0, 9};
    ASSERT_EQ(0, tv_set_trap_counter(ctx, &up));
    EXPECT_EQ((std::vector<int>{11, 99}), codes_heard(b, e));
    EXPECT_EQ((std::vector<int>{11, 99}), codes_heard(a, e));
    ASSERT_EQ(0, tv_set_trap_counter(ctx, &down));
    EXPECT_EQ((std::vector<int>{11, 99}), codes_heard(a, e));
    EXPECT_EQ(TV_TRAP_FALLING, e.alert);
    EXPECT_EQ(2, e.value);
    EXPECT_EQ(-23, e.change);
    // No crossing, a disabled code, trapping off: the test alert alone.
    ASSERT_EQ(0, tv_set_trap_counter(ctx, &lower));
    ASSERT_EQ(0, tv_set_trap_counter(ctx, &other));
    const tv_trapping_status off{0, 5000};
    ASSERT_EQ(0, tv_set_trapping_status(ctx, 0, &off));
    ASSERT_EQ(0, tv_set_trap_counter(ctx, &up));
    EXPECT_EQ((std::vector<int>{99, 99, 99}), codes_heard(a, e));
    EXPECT_EQ(0, tv_trap_release_listener(ctx, a));
    EXPECT_EQ(0, tv_trap_release_listener(ctx, b));
    EXPECT_EQ(0u, listeners());

    // Twelve fit; the thirteenth is refused.
    for (std::uint16_t p = 1; p <= 12; ++p) ASSERT_EQ(0, tv_set_trap_listener(ctx, inet_addr("127.0.50.9"), p, 0));
    EXPECT_EQ(200, tv_set_trap_listener(ctx, inet_addr("127.0.50.9"), 13, 0));
    EXPECT_EQ(12u, listeners());
}

TEST_F(traps_sim, timer_raises_traps_for_listeners) {
    tv_trap_listener* l = tv_trap_createlistener(ctx);
    ASSERT_NE(nullptr, l);
    fab.server().with_fabric([](sim::fabric& f) { f.switches[0].get<sim::trap_state>().raise_every = std::chrono::milliseconds(1); });
    // sw1's enabled codes in turn, on unit 2: rising first, falling once each has risen.
    std::vector<std::pair<int, int>> heard;
    tv_trap_event e{};
    while (heard.size() < 6 && tv_trap_listen(l, 2000, &e) == 0) {
        EXPECT_EQ(2, e.unit);
        heard.emplace_back(e.code, e.alert);
    }
    fab.server().with_fabric([](sim::fabric& f) { f.switches[0].get<sim::trap_state>().raise_every = {}; });
    EXPECT_EQ((std::vector<std::pair<int, int>>{{2, 0}, {11, 0}, {12, 0}, {16, 0}, {29, 0}, {2, 1}}), heard);
    tv_trap_release_listener(ctx, l);
}

}  // namespace
