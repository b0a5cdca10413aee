// Message framing: header bytes, sequence numbers, destination addressing, checksums, the
// status-byte mapping, the status-code table and the log functions.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "tv_api/tv_inter.h"

namespace {

class framing : public ::testing::Test {
protected:
    tv_context ctx{};
    std::array<std::uint8_t, 64> msg{};
    void SetUp() override { ctx.dest_fc_addr = TV_DEFAULT_DEST; }
};

TEST_F(framing, header_of_a_request_without_payload) {
    msg_seq_num = 41;
    tv_msg_hdr(&ctx, msg.data(), 0x12, 20);
    const std::array<std::uint8_t, 16> expect{0x11, 0x00, 0, 0, 0, 0xFF, 0xFF, 0xFD,
                                              0x00, 0x12, 0x00, 0x04, 0, 0, 0, 42};
    EXPECT_EQ(0, std::memcmp(expect.data(), msg.data(), 16));
    EXPECT_EQ(42u, msg_seq_num);
    EXPECT_EQ(42u, tv_get_seq_num(msg.data()));

    const uint32_t sum = tv_set_chksum(msg.data(), 20);
    EXPECT_EQ(tv_calc_chksum(msg.data(), 16), sum);
    EXPECT_EQ(sum, tv::wire::get_be32(msg, 16));
    EXPECT_EQ(1, tv_verify_chksum(msg.data(), 20));
    msg[3] ^= 1;
    EXPECT_EQ(0, tv_verify_chksum(msg.data(), 20));
    EXPECT_EQ(0, tv_verify_chksum(msg.data(), 3));  // too short to hold a checksum
    EXPECT_EQ(0u, tv_calc_chksum("abc", -5));
}

TEST_F(framing, header_round_trips_and_rewrites_all_sixteen_bytes) {
    msg.fill(0xEE);
    msg_seq_num = 0xFFFFFFFF;  // wraps to 0
    ctx.dest_fc_addr = 0x7F108000;
    tv_msg_hdr(&ctx, msg.data(), 0x10030, 116);
    const tv_msg_header h = tv::decode_header(msg);
    EXPECT_EQ(1, h.hdr_version);
    EXPECT_EQ(4, h.hdr_format);
    EXPECT_EQ(0, h.hdr_option);
    EXPECT_EQ(0, h.hdr_status);
    EXPECT_EQ(0x108000u, h.hdr_dest);  // masked to 24 bits
    EXPECT_EQ(0x30, h.hdr_command);    // low 16 bits
    EXPECT_EQ(100, h.hdr_length);
    EXPECT_EQ(0u, h.hdr_seq);
    EXPECT_EQ(0, msg[3]);
    EXPECT_EQ(0, msg[4]);
    EXPECT_EQ(0xEE, msg[16]);  // the payload is the caller's

    std::array<std::uint8_t, 16> again{};
    tv::encode_header(again, h);
    EXPECT_EQ(0, std::memcmp(again.data(), msg.data(), 16));
}

TEST_F(framing, destination_addressing_and_the_one_saved_value) {
    EXPECT_EQ(TV_DEFAULT_DEST, tv_set_dest_addr(&ctx, 0x010203));
    EXPECT_EQ(0x010000u, tv_get_dest_addr(&ctx));
    tv_msg_hdr(&ctx, msg.data(), 7, 20);
    EXPECT_EQ(0x01, msg[5]);
    EXPECT_EQ(0x00, msg[6]);
    EXPECT_EQ(0x00, msg[7]);

    // Nested calls lose the first saved value: restore goes back one step only.
    tv_context other{};
    other.dest_fc_addr = TV_DEFAULT_DEST;
    tv_set_dest_addr(&ctx, 0x108000);
    EXPECT_EQ(0x010000u, tv_restore_dest_addr(&other));
    EXPECT_EQ(0x010000u, other.dest_fc_addr);
    EXPECT_EQ(0x108000u, ctx.dest_fc_addr);
}

TEST(logging, log_error_goes_to_the_chosen_stream_and_log_info_nowhere) {
    std::FILE* f = std::tmpfile();
    ASSERT_NE(nullptr, f);
    tv_api_open(f);
    log_error("x=%d %s\n", 5, "y");
    log_info("never %d\n", 1);
    showbytes("abcdef", 6);
    std::rewind(f);
    char buf[64] = {};
    EXPECT_EQ(6u, std::fread(buf, 1, sizeof buf, f));
    EXPECT_STREQ("x=5 y\n", buf);
    std::fclose(f);

    tv_api_open(nullptr);  // silenced: nothing written, nothing fails
    log_error("dropped %d\n", 1);
    EXPECT_EQ(static_cast<uint32_t>(getpid()), msg_seq_num);
    EXPECT_EQ(0, tv_api_errno);
    tv_api_open(stderr);
}

}  // namespace
