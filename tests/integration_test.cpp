// The library's operations against the simulator running in-process: what reached the wire
// (from the simulator's record) and what changed in the switch.
#include <gtest/gtest.h>

#include <cstring>

#include "support/sim_fixture.h"
#include "support/test_addresses.h"

namespace {

using subs = std::vector<std::uint32_t>;
using bytes = std::vector<std::uint8_t>;

class integration : public tvtest::fabric_test {
protected:
    integration() : fabric_test(tvtest::addr::integration_base) {}  // sw1 .7.2, sw2 .7.3, sw3 .7.4
};

TEST_F(integration, identity_of_each_switch_of_the_fabric) {
    tv_version_info v{};
    ASSERT_EQ(0, tv_get_version(ctx, &v));
    EXPECT_EQ(0x40119Au, v.flash_rev);
    EXPECT_EQ(0x104000u, v.ver_info3);
    EXPECT_EQ(0x5e, v.wwn[4]);
    EXPECT_EQ(0x01, v.mac[5]);

    uint32_t model = 0;
    ASSERT_EQ(0, tv_get_switch_model(ctx, &model));
    EXPECT_EQ(1u, model);
    sw(0, [](sim::switch_state& s) { s.get<sim::identity_state>().model = 7; });
    ASSERT_EQ(0, tv_get_switch_model(ctx, &model));
    EXPECT_EQ(255u, model);

    // Newest firmware, sensor state 3: OK. Status, version and sensor requests, in that order.
    tv_chassis_status st{};
    fab.server().clear_records();
    ASSERT_EQ(0, tv_get_chassis_status(ctx, &st));
    EXPECT_EQ((subs{0, 0, 0x200}), fab.subcommands());
    EXPECT_EQ(16, st.num_ports);
    EXPECT_EQ(62, st.temperature);
    EXPECT_EQ(0, st.fan1_status);
    EXPECT_EQ(0, st.sensor_status);
    EXPECT_EQ(7, st.gbic_type[12]);

    // Through the fabric: older firmware, fan 1 missing; then the failed sensor of sw3.
    tv_set_dest_addr(ctx, 0x108000);
    ASSERT_EQ(0, tv_get_chassis_status(ctx, &st));
    EXPECT_EQ(-1, st.fan1_status);
    EXPECT_EQ(0, st.sensor_status);
    tv_set_dest_addr(ctx, 0x10C000);
    ASSERT_EQ(0, tv_get_chassis_status(ctx, &st));
    EXPECT_EQ(1, st.fan2_status);
    EXPECT_EQ(1, st.sensor_status);

    tv_sysconfig cfg{};
    ASSERT_EQ(0, tv_get_snmp_sysconfig(ctx, &cfg));
    EXPECT_STREQ("Simulated 16-port Fibre Channel switch sw3", cfg.description);
    EXPECT_STREQ("Lab rack 3", cfg.text3);
}

TEST_F(integration, port_type_sends_loop_mode_first_and_changes_the_port) {
    ASSERT_EQ(16, tv_get_num_of_ports(ctx));
    fab.server().clear_records();
    ASSERT_EQ(0, tv_set_port_type(ctx, 5, TV_PORT_TYPE_FL, 1));
    EXPECT_EQ((subs{0x5D, 0x63, 0x66}), fab.subcommands());
    EXPECT_EQ(TV_PORT_TYPE_FL, sw(0, [](sim::switch_state& s) { return s.get<sim::port_state>().active[5].type; }));

    fab.server().clear_records();
    EXPECT_EQ(TV_ERR_PARAM, tv_set_port_type(ctx, 5, 7, 0));
    EXPECT_EQ((subs{0x5C}), fab.subcommands());  // the loop message went, the type did not
    EXPECT_EQ(1, sw(0, [](sim::switch_state& s) { return s.get<sim::port_state>().active[5].al_disabled; }));

    // The ISL port stays a T_Port whatever fabric-port type is asked for.
    ASSERT_EQ(0, tv_set_port_type(ctx, 15, TV_PORT_TYPE_F, 0));
    tv_port_types types{};
    ASSERT_EQ(0, tv_get_port_types(ctx, &types));
    ASSERT_EQ(16u, types.count);
    EXPECT_EQ(TV_PORT_TYPE_T, types.types[15]);
    EXPECT_EQ(TV_PORT_TYPE_SL, types.types[3]);
    tv_free_port_types(&types);
}

TEST_F(integration, port_state_is_read_then_written_whole) {
    fab.server().clear_records();
    ASSERT_EQ(0, tv_set_port_state(ctx, 3, TV_PORT_STATE_OFF));
    EXPECT_EQ((subs{0x64, 0x64, 0x50, 0x52}), fab.subcommands());
    const auto set = fab.requests().back();
    ASSERT_EQ(52u, set.size());
    EXPECT_EQ(16, set[20]);
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(i == 3 || i == 13 ? 2 : 1, set[24 + i]) << i;  // port 14 was off already

    // A port the switch does not have changes nothing: the vector goes back as it was.
    ASSERT_EQ(0, tv_set_port_state(ctx, 16, TV_PORT_STATE_OFF));
    const auto unchanged = fab.requests().back();
    EXPECT_EQ(bytes(set.begin() + 20, set.end() - 4), bytes(unchanged.begin() + 20, unchanged.end() - 4));

    tv_port_state st{};
    ASSERT_EQ(0, tv_get_port_state(ctx, &st));
    EXPECT_EQ(TV_PORT_STATE_OFF, st.entries[3].operational);
    EXPECT_EQ(TV_PORT_STATE_ON, st.entries[2].admin);
    tv_free_port_state(&st);

    // A failed port reports its operational state whatever its admin state.
    tv_set_dest_addr(ctx, 0x108000);
    ASSERT_EQ(0, tv_get_port_state(ctx, &st));
    EXPECT_EQ(TV_PORT_STATE_FAIL, st.entries[6].operational);
    EXPECT_EQ(TV_PORT_STATE_ON, st.entries[6].admin);
    tv_free_port_state(&st);
}

TEST_F(integration, loop_and_mfs_modes_read_back) {
    ASSERT_EQ(0, tv_set_port_mfs_mode(ctx, 7, 5));
    ASSERT_EQ(0, tv_set_port_al_disabled(ctx, 7, 0));
    tv_port_mfs_modes modes{};
    ASSERT_EQ(0, tv_get_port_mfs_mode(ctx, &modes));
    EXPECT_EQ(5, modes.modes[7]);
    EXPECT_EQ(4, modes.modes[2]);  // the FL_Port's
    tv_free_port_mfs_mode(&modes);
    tv_port_al_disabled loop{};
    ASSERT_EQ(0, tv_get_port_al_disabled(ctx, &loop));
    EXPECT_EQ(0, loop.flags[7]);
    EXPECT_EQ(1, loop.flags[0]);
    tv_free_port_al_disabled(&loop);

    EXPECT_EQ(TV_ERR_SWITCH, tv_set_port_mfs_mode(ctx, 7, 9));  // the switch refuses mode 9
}

TEST_F(integration, login_and_user_accounts) {
    sw(0, [](sim::switch_state& s) { s.get<sim::login_state>().login_required = true; });
    EXPECT_EQ(-1, tv_get_num_of_ports(ctx));
    EXPECT_EQ(TV_ERR_LOGIN_REQUIRED, tv_api_errno);

    ctx->login_required = 1;
    EXPECT_EQ(TV_ERR_USER_PW, tv_login(ctx, "admin", "nope"));
    ASSERT_EQ(0, tv_login(ctx, "admin", "password"));
    EXPECT_EQ(16, tv_get_num_of_ports(ctx));
    EXPECT_EQ(0, tv_logintimedout(ctx));

    ASSERT_EQ(0, tv_user_add(ctx, "tester", "pw12", 2));
    EXPECT_EQ(TV_ERR_USER_PW, tv_user_add(ctx, "tester", "pw12", 2));  // exists already
    EXPECT_EQ(TV_ERR_SWITCH, tv_user_add(ctx, "lvl9", "pw", 9));       // the switch refuses
    tv_context* other = tv_open(tvtest::addr::integration_base);
    ASSERT_NE(nullptr, other);
    other->login_required = 1;
    ASSERT_EQ(0, tv_login(other, "tester", "pw12"));
    ASSERT_EQ(0, tv_set_curr_user_pw(other, "pw12", "newpw"));
    EXPECT_EQ("newpw", sw(0, [](sim::switch_state& s) { return s.get<sim::login_state>().find_user("tester")->password; }));
    EXPECT_EQ(TV_ERR_SWITCH, tv_user_delete(other, "oper"));  // not an administrator
    tv_close(other);

    EXPECT_EQ(TV_ERR_USER_PW, tv_user_delete(ctx, "admin"));  // refused before sending
    ASSERT_EQ(0, tv_user_delete(ctx, "tester"));
    EXPECT_EQ(nullptr, sw(0, [](sim::switch_state& s) { return s.get<sim::login_state>().find_user("tester"); }));

    ASSERT_EQ(0, tv_logout(ctx));
    EXPECT_EQ(-1, tv_get_num_of_ports(ctx));
    EXPECT_EQ(TV_ERR_LOGIN_REQUIRED, tv_api_errno);

    // A login ends once it has been idle for longer than the switch's expiry.
    sw(0, [](sim::switch_state& s) { s.get<sim::login_state>().expiry = std::chrono::seconds(0); });
    ASSERT_EQ(0, tv_login(ctx, "admin", "password"));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(-1, tv_get_num_of_ports(ctx));
    EXPECT_EQ(TV_ERR_LOGIN_REQUIRED, tv_api_errno);
}

TEST_F(integration, discovery_and_reset) {
    char** found = tv_discover(nullptr, "127.0.7.1", 5);
    ASSERT_NE(nullptr, found);
    EXPECT_STREQ("127.0.7.2", found[0]);
    EXPECT_STREQ("127.0.7.3", found[1]);
    EXPECT_STREQ("127.0.7.4", found[2]);
    EXPECT_EQ(nullptr, found[3]);
    EXPECT_EQ(0, Discover);
    tv_free_discovery(found, nullptr);

    const auto admin_of_port_1 = [&] {
        return sw(0, [](sim::switch_state& s) { return s.get<sim::port_state>().active[0].admin; });
    };
    // Waits until the switch has seen one more reset message.
    const auto reset_seen = [&](std::size_t before) {
        const auto resets = [&] {
            std::size_t n = 0;
            for (const auto& r : fab.requests()) n += r.size() == 16;
            return n;
        };
        for (int i = 0; i < 200 && resets() == before; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return resets() == before + 1;
    };
    ASSERT_EQ(0, tv_set_port_state(ctx, 0, TV_PORT_STATE_OFF));

    // Where a login is required, a reset from a manager that has not logged in is refused.
    sw(0, [](sim::switch_state& s) { s.get<sim::login_state>().login_required = true; });
    ASSERT_EQ(0, tv_switch_reset(ctx));
    ASSERT_TRUE(reset_seen(0));
    EXPECT_EQ(TV_PORT_STATE_OFF, admin_of_port_1());

    ctx->login_required = 1;
    ASSERT_EQ(0, tv_login(ctx, "admin", "password"));
    ASSERT_EQ(0, tv_switch_reset(ctx));
    ASSERT_TRUE(reset_seen(1));
    EXPECT_EQ(TV_PORT_STATE_ON, admin_of_port_1());  // the saved set is active again
    EXPECT_EQ(0u, ctx->last_activity);
    // ... and the reset ended the session.
    EXPECT_TRUE(sw(0, [](sim::switch_state& s) { return s.get<sim::login_state>().sessions.empty(); }));
}

}  // namespace
