// Port types and port configuration against a scripted switch: the messages that reach the wire
// (sub-commands, offsets, the order of loop mode and type, the complete admin vector) and what
// lands in the records, including that refused and oversized answers leave them untouched.
#include <array>

#include "proto/ports/decode.h"
#include "support/switch_test.h"
#include "support/test_addresses.h"

namespace {

using tvtest::bytes;
using tvtest::port_types;
using tvtest::reply;

// A port-state answer for n ports whose array a holds, for port i, the value 16 * a + i.
reply state_reply(std::uint8_t n) {
    reply r = tvtest::port_states(n);
    for (std::size_t a = 0; a < 7; ++a)
        for (std::size_t i = 0; i < n; ++i)
            r.u8(24 + a * n + i, static_cast<std::uint8_t>(16 * a + i));
    return r;
}

class ports : public tvtest::switch_test {
protected:
    ports() : switch_test(tvtest::addr::ports_switch) {}
};

TEST_F(ports, loop_and_mfs_arrays_are_read_at_the_stride_of_the_port_count) {
    sw.script({state_reply(16), state_reply(16)});
    tv_port_al_disabled loop{};
    loop.reserved = 77;
    tv_port_mfs_modes mfs{};
    ASSERT_EQ(0, tv_get_port_al_disabled(ctx, &loop));
    ASSERT_EQ(0, tv_get_port_mfs_mode(ctx, &mfs));
    ASSERT_EQ(16u, loop.count);
    ASSERT_EQ(16u, mfs.count);
    EXPECT_EQ(77, loop.reserved);
    for (std::uint8_t i = 0; i < 16; ++i) {
        EXPECT_EQ(16 * 5 + i, loop.flags[i]);  // offsets 104 to 119
        EXPECT_EQ(16 * 6 + i, mfs.modes[i]);   // offsets 120 to 135
    }
    EXPECT_EQ((std::vector<std::uint32_t>{80, 80}), subcommands());
    tv_free_port_al_disabled(&loop);
    tv_free_port_mfs_mode(&mfs);
    tv_free_port_al_disabled(&loop);
    tv_free_port_mfs_mode(nullptr);
}

TEST_F(ports, refused_or_oversized_answers_leave_the_records_untouched) {
    sw.script({tvtest::refused(0x01), port_types(25), state_reply(25), state_reply(25),
               tvtest::refused(0x0E), port_types(25)});
    tv_port_types types{99, nullptr};
    EXPECT_EQ(201, tv_get_port_types(ctx, &types));
    EXPECT_EQ(200, tv_get_port_types(ctx, &types));
    EXPECT_EQ(99u, types.count);
    EXPECT_EQ(nullptr, types.types);

    tv_port_al_disabled loop{0, 99, nullptr};
    EXPECT_EQ(200, tv_get_port_al_disabled(ctx, &loop));
    tv_port_mfs_modes mfs{99, nullptr};
    EXPECT_EQ(200, tv_get_port_mfs_mode(ctx, &mfs));
    EXPECT_EQ(202, tv_get_port_mfs_mode(ctx, &mfs));
    EXPECT_EQ(99u, loop.count);
    EXPECT_EQ(nullptr, loop.flags);
    EXPECT_EQ(99u, mfs.count);
    EXPECT_EQ(nullptr, mfs.modes);

    EXPECT_EQ(-1, tv_get_num_of_ports(ctx));
    EXPECT_EQ(200, tv_api_errno);

    sw.script({port_types(8), tvtest::refused(), port_types(8), state_reply(25)});
    tv_port_state st{99, nullptr};
    EXPECT_EQ(200, tv_get_port_state(ctx, &st));
    EXPECT_EQ(200, tv_get_port_state(ctx, &st));
    EXPECT_EQ(99u, st.count);
    EXPECT_EQ(nullptr, st.entries);
}

TEST_F(ports, port_state_takes_admin_and_operational_arrays) {
    sw.script({port_types(8), state_reply(8)});
    tv_port_state st{};
    ASSERT_EQ(0, tv_get_port_state(ctx, &st));
    ASSERT_EQ(8u, st.count);
    for (std::uint32_t i = 0; i < 8; ++i) {
        EXPECT_EQ(i, st.entries[i].admin);             // offset 24 + i
        EXPECT_EQ(16 * 2 + i, st.entries[i].operational);  // offset 40 + i
    }
    tv_free_port_state(&st);
    tv_free_port_state(&st);

    // The count query goes out first, but the state request's header was written before it.
    ASSERT_EQ(2u, sw.count());
    const bytes types_query = request(0), state_query = request(1);
    EXPECT_EQ((std::vector<std::uint32_t>{100, 80}), subcommands());
    EXPECT_EQ(140u, state_query.size());
    EXPECT_EQ(8, at(state_query, 20));
    EXPECT_LT(static_cast<std::int32_t>(tv_get_seq_num(state_query.data())),
              static_cast<std::int32_t>(tv_get_seq_num(types_query.data())));
}

TEST_F(ports, set_port_state_sends_nothing_when_the_refresh_fails) {
    sw.script({port_types(8), port_types(8), tvtest::refused(0x0E)});
    EXPECT_EQ(202, tv_set_port_state(ctx, 0, 1));
    EXPECT_EQ((std::vector<std::uint32_t>{100, 100, 80}), subcommands());

    sw.script({port_types(8), port_types(8), state_reply(25)});
    EXPECT_EQ(200, tv_set_port_state(ctx, 0, 1));
    EXPECT_EQ(6u, sw.count());
}

TEST_F(ports, set_port_type_sets_loop_mode_first_then_the_wire_type) {
    // type -> loop sub-command (92 disabled, 93 enabled), wire type code
    const std::array<std::array<std::uint32_t, 3>, 5> cases{
        {{1, 92, 1}, {2, 93, 1}, {3, 92, 1}, {4, 93, 4}, {5, 93, 5}}};
    for (const auto& [type, loop_subcmd, wire_code] : cases) {
        sw.script({reply(24), reply(24)});
        const std::size_t before = sw.count();
        EXPECT_EQ(0, tv_set_port_type(ctx, 6, static_cast<std::int32_t>(type), 0));
        ASSERT_EQ(before + 2, sw.count());
        const bytes loop = request(before), set = request(before + 1);
        EXPECT_EQ(loop_subcmd, tv::wire::get_be32(loop, 16)) << type;
        EXPECT_EQ(6, at(loop, 20));
        EXPECT_EQ(28u, set.size());
        EXPECT_EQ(99u, tv::wire::get_be32(set, 16));
        EXPECT_EQ(6, at(set, 20));
        EXPECT_EQ(wire_code, at(set, 21)) << type;
    }
}

TEST_F(ports, set_port_type_stops_at_a_refused_loop_mode_or_type_message) {
    sw.script({tvtest::refused(0x01), reply(24), tvtest::refused(0x03)});
    EXPECT_EQ(201, tv_set_port_type(ctx, 0, TV_PORT_TYPE_F, 1));
    EXPECT_EQ(107, tv_set_port_type(ctx, 0, TV_PORT_TYPE_F, 1));
    EXPECT_EQ((std::vector<std::uint32_t>{92, 92, 99}), subcommands());
}

}  // namespace
