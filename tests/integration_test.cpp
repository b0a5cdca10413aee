// The library's operations against the simulator running in-process, for what only the
// simulator's model shows: what changed in the switch, and the switch's own rules (models,
// sensors, the T_Port, accounts, logins that expire, resets). What reaches the wire is pinned
// by the scripted-switch tests of each family, and the reports by the tool's end-to-end tests.
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

TEST_F(integration, models_beyond_the_known_ones_and_a_failed_sensor) {
    uint32_t model = 0;
    ASSERT_EQ(0, tv_get_switch_model(ctx, &model));
    EXPECT_EQ(1u, model);
    fab.on_switch(0, [](sim::switch_state& s) { s.get<sim::identity_state>().model = 7; });
    ASSERT_EQ(0, tv_get_switch_model(ctx, &model));
    EXPECT_EQ(255u, model);

    // sw3, through the fabric: its second fan and its sensor have failed.
    tv_chassis_status st{};
    tv_set_dest_addr(ctx, 0x10C000);
    ASSERT_EQ(0, tv_get_chassis_status(ctx, &st));
    EXPECT_EQ(1, st.fan2_status);
    EXPECT_EQ(1, st.sensor_status);
    tv_sysconfig cfg{};
    ASSERT_EQ(0, tv_get_snmp_sysconfig(ctx, &cfg));
    EXPECT_STREQ("Lab rack 3", cfg.text3);
}

TEST_F(integration, port_changes_the_switch_refuses_or_the_library_keeps_from_it) {
    // Loop mode, type and the follow-up; a type the library does not know: the loop message
    // went, the type did not.
    ASSERT_EQ(16, tv_get_num_of_ports(ctx));
    fab.server().clear_records();
    ASSERT_EQ(0, tv_set_port_type(ctx, 5, TV_PORT_TYPE_FL, 1));
    EXPECT_EQ((subs{0x5D, 0x63, 0x66}), fab.subcommands());
    fab.server().clear_records();
    EXPECT_EQ(TV_ERR_PARAM, tv_set_port_type(ctx, 5, 7, 0));
    EXPECT_EQ((subs{0x5C}), fab.subcommands());
    // The ISL port stays a T_Port whatever fabric-port type is asked for.
    ASSERT_EQ(0, tv_set_port_type(ctx, 15, TV_PORT_TYPE_F, 0));
    EXPECT_EQ(TV_PORT_TYPE_T, fab.on_switch(0, [](sim::switch_state& s) { return s.get<sim::port_state>().active[15].type; }));

    // A port the switch does not have changes nothing: the vector goes back as it was read.
    ASSERT_EQ(0, tv_set_port_state(ctx, 3, TV_PORT_STATE_OFF));
    const auto set = fab.requests().back();
    ASSERT_EQ(0, tv_set_port_state(ctx, 16, TV_PORT_STATE_OFF));
    const auto unchanged = fab.requests().back();
    EXPECT_EQ(bytes(set.begin() + 20, set.end() - 4), bytes(unchanged.begin() + 20, unchanged.end() - 4));
}

TEST_F(integration, accounts_and_logins_by_the_switchs_rules) {
    fab.require_login(true, 0);
    ctx->login_required = 1;
    ASSERT_EQ(0, tv_login(ctx, "admin", "password"));
    ASSERT_EQ(0, tv_user_add(ctx, "tester", "pw12", 2));
    EXPECT_EQ(TV_ERR_USER_PW, tv_user_add(ctx, "tester", "pw12", 2));  // exists already
    EXPECT_EQ(TV_ERR_SWITCH, tv_user_add(ctx, "lvl9", "pw", 9));       // the switch refuses
    tv_context* other = tv_open(tvtest::addr::integration_base);
    ASSERT_NE(nullptr, other);
    other->login_required = 1;
    ASSERT_EQ(0, tv_login(other, "tester", "pw12"));
    EXPECT_EQ(TV_ERR_SWITCH, tv_user_delete(other, "oper"));  // not an administrator
    tv_close(other);

    // A login ends once it has been idle for longer than the switch's expiry.
    fab.on_switch(0, [](sim::switch_state& s) { s.get<sim::login_state>().expiry = std::chrono::seconds(0); });
    ASSERT_EQ(0, tv_login(ctx, "admin", "password"));
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(-1, tv_get_num_of_ports(ctx));
    EXPECT_EQ(TV_ERR_LOGIN_REQUIRED, tv_api_errno);
}

TEST_F(integration, a_reset_needs_the_login_a_switch_requires_and_ends_it) {
    const auto admin_of_port_1 = [&] {
        return fab.on_switch(0, [](sim::switch_state& s) { return s.get<sim::port_state>().active[0].admin; });
    };
    ASSERT_EQ(0, tv_set_port_state(ctx, 0, TV_PORT_STATE_OFF));
    fab.server().clear_records();
    fab.require_login(true, 0);
    ASSERT_EQ(0, tv_switch_reset(ctx));
    ASSERT_TRUE(fab.resets_seen(1));
    EXPECT_EQ(TV_PORT_STATE_OFF, admin_of_port_1());

    ctx->login_required = 1;
    ASSERT_EQ(0, tv_login(ctx, "admin", "password"));
    ASSERT_EQ(0, tv_switch_reset(ctx));
    ASSERT_TRUE(fab.resets_seen(2));
    EXPECT_EQ(TV_PORT_STATE_ON, admin_of_port_1());  // the saved set is active again
    EXPECT_EQ(0u, ctx->last_activity);
    EXPECT_EQ(0u, fab.sessions(0));
}

}  // namespace
