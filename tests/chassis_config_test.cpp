// Chassis, network and transfer operations against a scripted switch, for the answers a sound
// switch never gives (refusals, short blocks, uploads that go wrong), and the defaults-file
// parser on its own. What reaches the wire from a sound switch is in config_integration_test.
#include <array>
#include <cstdio>

#include "proto/chassis/layout.h"
#include "proto/netconfig/layout.h"
#include "support/switch_test.h"
#include "support/test_addresses.h"
#include "tv_api/operations/defaults_file.h"

namespace {

using tvtest::bytes;
using tvtest::reply;
using subs = std::vector<std::uint32_t>;

class chassis_config : public tvtest::switch_test {
protected:
    chassis_config() : switch_test(tvtest::addr::config_switch) {}
};

TEST_F(chassis_config, a_failed_or_short_read_writes_nothing) {
    tv_switch_tovs t{1, 2, 3, 4};
    sw.script({tvtest::refused(), reply(60), tvtest::refused()});
    EXPECT_EQ(TV_ERR_SWITCH, tv_set_switch_tovs(ctx, &t));
    // A block answer without the whole block would be written back padded with zeros.
    EXPECT_EQ(TV_ERR_SWITCH, tv_set_switch_tovs(ctx, &t));
    EXPECT_EQ(TV_ERR_SWITCH, tv_set_chassis_mode(ctx, 2));
    EXPECT_EQ((subs{1, 1, 0x20}), subcommands());

    tv_switch_tovs kept{9, 9, 9, 9};
    EXPECT_EQ(TV_ERR_NO_RESPONSE, tv_get_switch_tovs(ctx, 2, &kept));  // silent: untouched
    EXPECT_EQ(9, kept.edtov);
    EXPECT_EQ(0u, subcommands().back());  // which 2 sends sub-command 0
    std::uint8_t stage = 7;
    const std::size_t sent = sw.count();
    EXPECT_EQ(TV_ERR_PARAM, tv_get_stagetype(ctx, 2, &stage));
    EXPECT_EQ(0, stage);
    EXPECT_EQ(sent, sw.count());
}

TEST_F(chassis_config, chassis_mode_goes_back_with_the_bytes_the_switch_gave) {
    sw.script({reply(28).u8(20, 1).u8(21, 0xAA).u8(22, 0xBB).u8(23, 0xCC), reply(28).u8(20, 3),
               reply(28).u8(20, 1).u8(21, 1), reply(28)});
    const auto value_bytes = [&](std::size_t i) {
        const bytes r = request(i);
        return bytes(r.begin() + 20, r.end() - 4);
    };
    ASSERT_EQ(0, tv_set_chassis_mode(ctx, 3));
    EXPECT_EQ(24u, request(0).size());
    EXPECT_EQ((bytes{3, 0xAA, 0xBB, 0xCC}), value_bytes(1));
    // A chassis-type set carries zeros after its value whatever the last get answered.
    uint32_t type = 0;
    ASSERT_EQ(0, tv_get_chassis_type(ctx, &type));
    ASSERT_EQ(0, tv_set_chassis_type(ctx, 2));
    EXPECT_EQ((bytes{2, 0, 0, 0}), value_bytes(3));
    EXPECT_EQ((subs{0x20, 0x24, 0x38, 0x39}), subcommands());
}

TEST_F(chassis_config, sl_zoning_flag_by_firmware_revision_then_chassis_type) {
    const auto version = [](std::uint32_t flash) { return reply(88).be32(20, flash); };
    sw.script({version(0x7030400), version(0x30401), reply(28).u8(20, 1).u8(21, 1)});
    std::uint8_t flag = 9;
    ASSERT_EQ(0, tv_get_slzoningmode_flag(ctx, &flag));
    EXPECT_EQ(1, flag);
    EXPECT_EQ(1u, sw.count());  // up to 0x30400 in the low 20 bits: no chassis-type request
    ASSERT_EQ(0, tv_get_slzoningmode_flag(ctx, &flag));
    EXPECT_EQ(1, flag);
    EXPECT_EQ(0x38u, subcommands().back());
}

TEST_F(chassis_config, firmware_files_that_cannot_be_read_send_nothing) {
    std::FILE* dir = std::fopen("/", "rb");  // opens, but reading a directory fails
    ASSERT_NE(nullptr, dir);
    EXPECT_EQ(EISDIR, tv_codeload(ctx, dir, 4096));
    EXPECT_EQ(EISDIR, tv_download(ctx, 1, dir, 4096));
    std::fclose(dir);
    std::FILE* empty = std::tmpfile();
    tv_api_errno = 1234;
    EXPECT_EQ(1234, tv_codeload(ctx, empty, 0));  // nothing sent, the status code as it was
    EXPECT_EQ(0, Long_Poll);
    std::fclose(empty);
    EXPECT_EQ(0u, sw.count());
}

// An upload answer: block of `len` bytes of a store of `total`.
reply upload_reply(std::uint16_t len, std::uint32_t total) {
    reply r(516);
    return r.u8(20, static_cast<std::uint8_t>(len >> 8)).u8(21, static_cast<std::uint8_t>(len)).be32(28, total);
}

TEST_F(chassis_config, uploads_that_do_not_fit_end_with_107_and_no_buffer) {
    struct bad_case {
        const char* what;
        std::vector<tvtest::step> answers;
        std::size_t requests;
    };
    const std::vector<bad_case> cases{
        {"no store", {upload_reply(0, 0xFFFFFFFF)}, 1},
        {"empty block before the end", {upload_reply(480, 1000), upload_reply(0, 1000)}, 2},
        {"block past the total", {upload_reply(480, 500), upload_reply(480, 500)}, 2},
        {"total changed", {upload_reply(480, 1000), upload_reply(480, 2000)}, 2},
        {"block beyond its room", {upload_reply(481, 1000)}, 1},
        {"block beyond the answer", {reply(100).be32(28, 1000).u8(21, 200)}, 1},
        {"refused", {tvtest::refused()}, 1},
    };
    for (const auto& c : cases) {
        sw.script(c.answers);
        const std::size_t before = sw.count();
        std::uint8_t* buf = reinterpret_cast<std::uint8_t*>(1);
        std::uint32_t len = 5;
        EXPECT_EQ(107, tv_upload(ctx, 1, 0, &buf, &len)) << c.what;
        EXPECT_EQ(nullptr, buf) << c.what;
        EXPECT_EQ(0u, len) << c.what;
        EXPECT_EQ(c.requests, sw.count() - before) << c.what;
    }
    sw.script({upload_reply(0, 0)});
    std::uint8_t* buf = nullptr;
    std::uint32_t len = 5;
    ASSERT_EQ(0, tv_upload(ctx, 1, 0, &buf, &len));  // an empty store: a buffer of no bytes
    EXPECT_NE(nullptr, buf);
    EXPECT_EQ(0u, len);
    std::free(buf);
}

// ---- The defaults-file parser on its own ----

namespace N = tv::layout::netconfig;
namespace P = tv::layout::chassis::param;

struct staged {
    std::array<std::uint8_t, N::len> net{};
    std::array<std::uint8_t, P::len> params{};
    std::uint32_t changed = 0;
    staged() { params[P::port_count] = 4; }
    tv::defaults::piece_outcome apply(std::string_view piece) {
        return tv::defaults::apply_piece(piece, {net, params}, changed);
    }
    std::uint32_t net_at(std::size_t at) const { return tv::wire::get_be32(net, at); }
    std::uint32_t param_at(std::size_t at) const { return tv::wire::get_be32(params, at); }
};

TEST(defaults_file, keys_separators_and_per_port_lists) {
    staged s;
    for (const char* line : {"ED_TOV=2000\n", "ra_tov 10000", "Mfs_Tov = 70000", "ip_addr\t10.0.0.5\n",
                             "IP_AUTO BootP", "IP_ArpTimeout,900", "MFS_Mode 1,0,1", "part_number 42"})
        EXPECT_EQ(tv::defaults::verdict::applied, s.apply(line).what) << line;
    EXPECT_EQ(2000u, s.param_at(P::ed_tov));
    EXPECT_EQ(10000u, s.param_at(P::ra_tov));
    EXPECT_EQ(4464, tv::wire::get_be16(s.params, P::mfs_tov));  // 70000 in 16 bits
    EXPECT_EQ(0x0A000005u, s.net_at(N::ip_addr));
    EXPECT_EQ(1u, s.net_at(N::ip_auto));
    EXPECT_EQ(900u, s.net_at(N::arp_timeout));
    EXPECT_EQ((bytes{1, 0, 1, 0}), bytes(s.params.begin() + P::mfs_mode, s.params.begin() + P::mfs_mode + 4));
    EXPECT_EQ(3u, s.changed);

    // A list longer than the switch's 4 ports stops at the last port; force-F_Port is its own array.
    EXPECT_NE("", s.apply("Force_F_Port 1 1 1 1 1 1").warning);
    EXPECT_EQ((bytes{1, 1, 1, 1, 0}), bytes(s.params.begin() + P::force_f_port, s.params.begin() + P::force_f_port + 5));
}

// Lines longer than 78 characters, read in pieces, as the library's log says them:
// config_integration_test.
TEST(defaults_file, lines_that_change_nothing_or_say_so) {
    staged s;
    using tv::defaults::verdict;
    EXPECT_EQ(verdict::skipped, s.apply("# ED_TOV 1").what);
    EXPECT_EQ(verdict::skipped, s.apply(" ED_TOV 1").what);
    EXPECT_EQ(verdict::skipped, s.apply("9ED_TOV 1").what);
    EXPECT_EQ(verdict::unknown_key, s.apply("ED_TOVV 1").what);  // a known key's start is no key
    EXPECT_EQ(verdict::no_value, s.apply("ED_TOV =\n").what);
    EXPECT_EQ(verdict::skipped, s.apply(std::string_view("\0ED_TOV 1", 9)).what);
    EXPECT_EQ(0u, s.changed);
    EXPECT_EQ(staged().params, s.params);
    EXPECT_EQ(staged().net, s.net);

    // Garbage values: the key's rule decides, and the outcome says so.
    s.net[N::ip_auto + 3] = 2;
    EXPECT_NE("", s.apply("IP_Auto maybe").warning);
    EXPECT_EQ(2u, s.net_at(N::ip_auto));
    EXPECT_EQ(1u, s.changed);  // the settings read are written back all the same
    EXPECT_NE("", s.apply("ip_gateway 10.0.0.300").warning);
    EXPECT_EQ(0xFFFFFFFFu, s.net_at(N::ip_gateway));
    EXPECT_NE("", s.apply("ED_TOV 12abc").warning);
    EXPECT_EQ(12u, s.param_at(P::ed_tov));
    const auto flash = s.apply("FLASH=fw.bin,extra");
    EXPECT_EQ(verdict::flash, flash.what);
    EXPECT_EQ("fw.bin", flash.value);
}

}  // namespace
