// Port diagnostics and port status against a scripted switch: the test requests on the wire,
// answers that claim more than the record holds, and the port-status paths only a scripted
// answer reaches (addresses built from the switch's own, initiators on other ports, the
// destination of a T_Port's neighbour and its restoration).
#include <array>
#include <cstring>

#include "support/switch_test.h"
#include "support/test_addresses.h"

namespace {

using tvtest::bytes;
using tvtest::reply;

class diagnostics : public tvtest::switch_test {
protected:
    diagnostics() : switch_test(tvtest::addr::diag_switch) {}
    static std::uint32_t be32(const bytes& m, std::size_t off) { return tv::wire::get_be32(m, off); }
};

// The port-count query and the port-state vector of a switch of n ports whose port `port` has
// the type and is on and logged in.
std::vector<tvtest::step> port_state(std::uint8_t n, std::uint8_t port, std::uint8_t type) {
    reply state = tvtest::port_states(n);
    state.u8(24 + port, 1).u8(24 + 2 * n + port, 1).u8(24 + 3 * n + port, type).u8(24 + 4 * n + port, 1);
    return {tvtest::port_types(n), state};
}

reply name_server_port_half(std::uint32_t id, std::uint8_t tag) {
    return tvtest::name_server_port(id).raw(32, {0x21, 0, 0, 0, 0, 0, 0, tag});
}

TEST_F(diagnostics, test_requests_carry_their_fields_in_wire_order) {
    sw.script({reply(40), reply(24), reply(24), reply(176)});
    ASSERT_EQ(0, tv_start_test(ctx, static_cast<uint32_t>(-1), 2000, 10, 0x7E7E7E7E));
    ASSERT_EQ(0, tv_reset_log(ctx));
    ASSERT_EQ(0, tv_stop_test(ctx));
    tv_test_status_info st{};
    ASSERT_EQ(0, tv_test_status(ctx, &st));
    const bytes start = request(0);
    ASSERT_EQ(40u, start.size());
    EXPECT_EQ(0x31, tv::wire::get_be16(start, 8));
    EXPECT_EQ(24, tv::wire::get_be16(start, 10));
    EXPECT_EQ(13u, be32(start, 16));
    EXPECT_EQ((bytes{0xFF, 1, 1, 0}), bytes(start.begin() + 20, start.begin() + 24));
    // Size, pattern, passes: not the order of the arguments.
    EXPECT_EQ(2000u, be32(start, 24));
    EXPECT_EQ(0x7E7E7E7Eu, be32(start, 28));
    EXPECT_EQ(10u, be32(start, 32));
    const std::array<std::pair<std::size_t, std::uint32_t>, 3> bare{{{24, 8}, {24, 1}, {28, 10}}};
    for (std::size_t i = 0; i < bare.size(); ++i) {
        EXPECT_EQ(bare[i].first, request(i + 1).size()) << i;
        EXPECT_EQ(0x31, tv::wire::get_be16(request(i + 1), 8)) << i;
        EXPECT_EQ(bare[i].second, be32(request(i + 1), 16)) << i;
    }
}

TEST_F(diagnostics, answers_fill_only_what_the_record_holds) {
    reply counts(180);
    counts.be32(20, 0xBAD).be32(24, 111).be32(172, 38);
    reply status(176);
    status.u8(20, 9).u8(21, 200).u8(22, 3).be32(24, 0xFFFFFFFE).u8(28 + 15, 4).be32(44 + 60, 70).be32(108 + 60, 7);
    reply two_ports(176);
    two_ports.u8(21, 2).u8(28 + 5, 1);
    sw.script({counts, status, two_ports, tvtest::refused()});

    tv_port_counters c{};
    c.counter[0] = 5;
    ASSERT_EQ(0, tv_get_port_counters(ctx, 3, &c));
    EXPECT_EQ(3, request(0)[20]);
    EXPECT_EQ(5u, c.counter[0]);  // its place in the answer is not read
    EXPECT_EQ(111u, c.counter[TV_CNT_IN_FRAMES]);
    EXPECT_EQ(38u, c.counter[TV_CNT_OPN_RETURNED]);

    tv_test_status_info st;
    std::memset(&st, 0xEE, sizeof st);
    ASSERT_EQ(0, tv_test_status(ctx, &st));
    EXPECT_EQ(16, st.port_count);  // 200 claimed, 16 held
    EXPECT_EQ(0, st.reserved);
    EXPECT_EQ(-2, st.test_fail_cnt);
    EXPECT_EQ(4, st.port_test_status[15]);
    EXPECT_EQ(70u, st.port_test_count[15]);
    EXPECT_EQ(7u, st.port_fail_count[15]);
    // Two ports: entries from the third on keep what they held; a refusal changes nothing.
    ASSERT_EQ(0, tv_test_status(ctx, &st));
    EXPECT_EQ(2, st.port_count);
    EXPECT_EQ(4, st.port_test_status[15]);
    const tv_test_status_info before = st;
    EXPECT_EQ(200, tv_test_status(ctx, &st));
    EXPECT_EQ(0, std::memcmp(&before, &st, sizeof st));
}

TEST_F(diagnostics, loop_devices_are_looked_up_at_the_loops_address) {
    reply al(288);
    al.u8(21, 2).u8(23, 0x7A).be32(24, 0x10C000).u8(28, 0x01).u8(29, 0xE8);
    auto steps = port_state(4, 2, TV_PORT_TYPE_FL);
    steps.insert(steps.end(),
                 {al, name_server_port_half(0x10C201, 1), reply(520), tvtest::name_server_refusal(0x12)});
    sw.script(steps);
    tv_port_status st{};
    ASSERT_EQ(0, tv_get_port_status(ctx, 2, &st));
    ASSERT_EQ(2u, st.loop.count);
    EXPECT_EQ(0x7Au, st.loop.address);
    EXPECT_EQ(1, st.loop.port_wwns[0][7]);
    EXPECT_EQ((std::array<std::uint8_t, 8>{}), std::to_array(st.loop.port_wwns[1]));
    EXPECT_EQ(0x10C201u, be32(request(3), 28));
    EXPECT_EQ(0x10C2E8u, be32(request(5), 28));
    tv_free_port_status(&st);
    EXPECT_EQ(nullptr, st.loop.alpas);
    tv_free_port_status(&st);

    // A port beyond the switch's count has no entry.
    sw.script(port_state(4, 0, TV_PORT_TYPE_F));
    EXPECT_EQ(301, tv_get_port_status(ctx, 4, &st));
}

TEST_F(diagnostics, an_sl_device_takes_the_wwns_of_an_initiator_on_its_own_port) {
    reply al(288);
    al.u8(21, 2).u8(28, 0x01).u8(29, 0x02);
    // Initiator 0 is on another port with ALPA 0x02; initiator 1 is this port's 0x01.
    reply initiators(380);
    initiators.u8(22, 2).u8(24, 0).u8(25, 1).u8(40, 0x02).u8(41, 0x01).u8(248 + 8 + 7, 0x11).u8(120 + 8 + 7, 0x22);
    auto steps = port_state(4, 1, TV_PORT_TYPE_SL);
    steps.insert(steps.end(), {al, initiators});
    sw.script(steps);
    tv_port_status st{};
    ASSERT_EQ(0, tv_get_port_status(ctx, 1, &st));
    EXPECT_EQ(0x11, st.loop.port_wwns[0][7]);
    EXPECT_EQ(0x22, st.loop.node_wwns[0][7]);
    EXPECT_EQ((std::array<std::uint8_t, 8>{}), std::to_array(st.loop.port_wwns[1]));
    EXPECT_EQ(4u, sw.count());  // no name-server query
    tv_free_port_status(&st);
}

TEST_F(diagnostics, switch_ports_name_their_neighbour_and_device_ports_their_device) {
    reply topology(224);
    topology.be32(36 + 12 * 3, 0x108F00);
    auto steps = port_state(8, 3, TV_PORT_TYPE_T);
    steps.insert(steps.end(), {topology, reply(88), reply(44)});  // the neighbour's version and network
    sw.script(steps);
    tv_port_status st{};
    // What the neighbour is called is in the port_status report of diag_cli_test.
    ASSERT_EQ(0, tv_get_port_status(ctx, 3, &st));
    EXPECT_EQ(0x108000u, tv::wire::get_be24(request(3), 5));
    EXPECT_EQ(0x108000u, tv::wire::get_be24(request(4), 5));
    EXPECT_EQ(TV_DEFAULT_DEST, tv_get_dest_addr(ctx));  // restored
    tv_free_port_status(&st);  // nothing to release: the detail is no loop's
    EXPECT_EQ(0x108F00u, st.t_port.remote_fc_addr);

    // The device of F_Port 5 has the switch's address with the port in bits 8 and up; one the
    // name server does not know leaves its WWNs zero.
    reply version(88);
    version.be32(56, 0x10C0FF);
    steps = port_state(8, 5, TV_PORT_TYPE_F);
    steps.insert(steps.end(), {version, tvtest::name_server_refusal(0x12)});
    sw.script(steps);
    ASSERT_EQ(0, tv_get_port_status(ctx, 5, &st));
    EXPECT_EQ(0x10C500u, st.f_port.port_id);
    EXPECT_EQ(0x10C500u, be32(request(8), 28));
    EXPECT_EQ((std::array<std::uint8_t, 8>{}), std::to_array(st.f_port.node_wwn));
}

}  // namespace
