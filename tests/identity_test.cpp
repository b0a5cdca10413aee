// Switch identity and chassis status against a scripted switch: the requests on the wire, the
// fields copied out of each answer, the sensor rule and its firmware revisions, and records left
// alone when an exchange fails or a count exceeds the room.
#include <array>
#include <cstring>
#include <string>

#include "proto/identity/decode.h"
#include "support/switch_test.h"
#include "support/test_addresses.h"

namespace {

using tvtest::bytes;
using tvtest::reply;

reply version_reply(std::uint32_t flash_rev) {
    reply r(88);
    r.be32(20, flash_rev).be32(24, 0x22).be32(28, 0x33).be32(32, 0x44).be32(52, 0x55);
    r.be32(56, 0x10C000).raw(60, {1, 2, 3, 4, 5, 6, 7, 8}).raw(72, {0xA, 0xB, 0xC, 0xD, 0xE, 0xF});
    r.be32(80, 0x66);
    return r;
}

class identity : public tvtest::switch_test {
protected:
    identity() : switch_test(tvtest::addr::identity_switch) {}
    std::uint16_t command_of(std::size_t i) const {
        return tv::wire::get_be16(request(i), tv::off::command);
    }
};

TEST_F(identity, failed_exchanges_leave_records_as_they_were) {
    sw.script({tvtest::refused(0x01), tvtest::refused(0x0E), tvtest::refused()});
    tv_version_info v;
    std::memset(&v, 0xAA, sizeof v);
    const tv_version_info before = v;
    EXPECT_EQ(201, tv_get_version(ctx, &v));
    EXPECT_EQ(0, std::memcmp(&before, &v, sizeof v));

    std::uint32_t model = 42;
    EXPECT_EQ(202, tv_get_switch_model(ctx, &model));
    EXPECT_EQ(42u, model);
    EXPECT_EQ(0x202u, tv::wire::get_be32(request(1), 16));

    tv_sysconfig cfg{};
    std::strcpy(cfg.description, "kept");
    EXPECT_EQ(200, tv_get_snmp_sysconfig(ctx, &cfg));
    EXPECT_STREQ("kept", cfg.description);

    EXPECT_EQ(301, tv_get_version(ctx, nullptr));
    EXPECT_EQ(3u, sw.count());
}

TEST_F(identity, chassis_status_failures_at_each_step) {
    tv_chassis_status st;
    std::memset(&st, 0x55, sizeof st);

    // A failed status exchange ends the operation: its status, the record untouched, nothing
    // more sent.
    sw.script({tvtest::refused()});
    EXPECT_EQ(TV_ERR_SWITCH, tv_get_chassis_status(ctx, &st));
    EXPECT_EQ(0x55, st.power_status);
    EXPECT_EQ(0x55, st.num_ports);
    EXPECT_EQ(0x55, static_cast<std::uint8_t>(st.sensor_status));
    EXPECT_EQ(1u, sw.count());

    // Without a version the sensor is not asked for.
    sw.script({reply(116), tvtest::refused(0x0E)});
    EXPECT_EQ(202, tv_get_chassis_status(ctx, &st));
    EXPECT_EQ(-1, st.sensor_status);
    EXPECT_EQ(3u, sw.count());

    st.sensor_status = 0;
    sw.script({reply(116), version_reply(0x40118), tvtest::refused(0x01)});
    EXPECT_EQ(201, tv_get_chassis_status(ctx, &st));
    EXPECT_EQ(-1, st.sensor_status);
}

TEST_F(identity, port_count_beyond_the_room_is_cut_to_the_transceiver_bytes) {
    reply status(116);
    status.u8(20, 200);
    for (std::size_t i = 32; i < 112; ++i) status.u8(i, static_cast<std::uint8_t>(i));
    sw.script({status, tvtest::refused()});
    tv_chassis_status st;
    std::memset(&st, 0x55, sizeof st);
    EXPECT_EQ(200, tv_get_chassis_status(ctx, &st));
    ASSERT_EQ(80, st.num_ports);  // bytes 32 to 111; 112-115 are the checksum
    EXPECT_EQ(32, st.gbic_type[0]);
    EXPECT_EQ(111, st.gbic_type[79]);
    EXPECT_EQ(0x55, st.gbic_type[80]);
}

TEST_F(identity, sysconfig_texts_are_terminated_within_their_fields) {
    const std::string desc = "edge switch";
    reply r(220);
    r.be32(20, 123456).raw(24, bytes(desc.begin(), desc.end())).raw(88, bytes(64, 'x'));
    sw.script({r});
    tv_sysconfig cfg;
    std::memset(&cfg, 0x55, sizeof cfg);
    ASSERT_EQ(0, tv_get_snmp_sysconfig(ctx, &cfg));
    EXPECT_EQ(123456u, cfg.uptime);
    EXPECT_EQ(desc, cfg.description);
    EXPECT_EQ(std::string(63, 'x'), cfg.text2);
    EXPECT_STREQ("", cfg.text3);
    EXPECT_EQ((std::vector<std::uint32_t>{0x204}), subcommands());
}

// ---- revisions and the sensor rule ----

TEST(identity_rules, calc_revision_drops_a_letter_digit_and_keeps_20_bits) {
    EXPECT_EQ(0x40119, calc_revision(0x40119A));
    EXPECT_EQ(0x40118, calc_revision(0x40118));
    EXPECT_EQ(0x40119, calc_revision(0x1240119));
    EXPECT_EQ(0xFFFFF, calc_revision(-6));  // the shift keeps the sign
}

TEST(identity_rules, sensor_state_codes_depend_on_the_firmware) {
    const auto sensor = [](std::uint32_t rev, std::uint8_t index, std::uint8_t state) {
        bytes resp(100, 0);
        resp[28] = index;
        resp.at(std::min<std::size_t>(36 + 4u * index, 99)) = state;
        return tv::decode_sensor_status(resp, rev);
    };
    // States 2 to 5 on newer firmware (0x40119 and later, after normalising), then on older.
    for (std::uint32_t rev : {0x40119Au, 0x1240119u})
        EXPECT_EQ((std::vector<int>{-1, 0, 0, 1}),
                  (std::vector<int>{sensor(rev, 1, 2), sensor(rev, 1, 3), sensor(rev, 1, 4),
                                    sensor(rev, 1, 5)}));
    EXPECT_EQ((std::vector<int>{0, 0, 1, -1}),
              (std::vector<int>{sensor(0x40118, 11, 2), sensor(0x40118, 11, 3),
                                sensor(0x40118, 11, 4), sensor(0x40118, 11, 5)}));
    EXPECT_EQ(-1, sensor(0x40118, 12, 2));  // index 12 and above name no entry
}

}  // namespace
