// Chassis, network and transfer configuration against the simulator running in-process: what
// reached the wire (from the simulator's record), what changed in the switch, and the telvar
// commands end to end (the real binary as a child process).
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "proto/chassis/layout.h"
#include "proto/transfer/layout.h"
#include "support/run_tool.h"
#include "support/sim_fixture.h"
#include "support/test_addresses.h"
#include "support/tool_test.h"

namespace {

namespace w = tv::wire;
namespace T = tv::layout::transfer;
using bytes = std::vector<std::uint8_t>;
using subs = std::vector<std::uint32_t>;
using args = std::vector<std::string>;

const std::string sw1 = tvtest::addr::config_base;  // sw2 .3, sw3 .4

class config_fabric : public tvtest::fabric_test {
protected:
    config_fabric() : fabric_test(tvtest::addr::config_base) {}
    // Strict answers, as the tool takes them: every answer must have the length its buffer has.
    void SetUp() override {
        fabric_test::SetUp();
        tv_set_strict_answers(1);
    }

    static tvtest::tool_result telvar(const args& a) { return tvtest::run_telvar(a, tvtest::local_port::environment); }
};

TEST_F(config_fabric, parameter_block_goes_back_byte_for_byte_but_the_named_fields) {
    fab.on_switch(0, [](sim::switch_state& s) {
        auto& p = s.get<sim::chassis_state>().active;
        p.stage_type = 5;
        p.force_f_port = {1, 0, 1, 1};
        s.get<sim::port_state>().active[1].mfs_mode = 3;
    });
    const tv_switch_tovs t{1234, 55, 9000, 3000};
    ASSERT_EQ(0, tv_set_switch_tovs(ctx, &t));
    EXPECT_EQ((subs{1, 4}), fab.subcommands());
    const bytes read = fab.answers().at(0), write = fab.requests().at(1);
    ASSERT_EQ(116u, write.size());
    for (std::size_t i = 20; i < 88; ++i)
        if (i < 26 || i >= 40) {
            EXPECT_EQ(read[i], write[i]) << "byte " << i;
        }
    EXPECT_EQ(1234, w::get_be16(write, 26));
    EXPECT_EQ((bytes{0, 0, 0, 55, 0, 0, 0x23, 0x28, 0, 0, 0x0B, 0xB8}), bytes(write.begin() + 28, write.begin() + 40));
    tv_switch_tovs got{};
    ASSERT_EQ(0, tv_get_switch_tovs(ctx, 1, &got));
    EXPECT_EQ(3000, got.edtov);
    EXPECT_EQ(55, got.rttov);
    std::uint8_t stage = 0;
    ASSERT_EQ(0, tv_get_stagetype(ctx, 1, &stage));
    EXPECT_EQ(5, stage);

    // The defaults loader's path: the saved set read and sent back whole, tail included.
    fab.server().clear_records();
    ASSERT_EQ(0, tv_get_port_config(ctx, 2, nullptr));
    ASSERT_EQ(0, tv_set_config(ctx));
    EXPECT_EQ((subs{3, 4}), fab.subcommands());
    const bytes saved = fab.answers().at(0), sent = fab.requests().at(1);
    EXPECT_EQ(bytes(saved.begin() + 20, saved.end() - 4), bytes(sent.begin() + 20, sent.end() - 4));
    EXPECT_EQ(2000u, fab.on_switch(0, [](sim::switch_state& s) { return s.get<sim::chassis_state>().active.ed_tov; }));
}

TEST_F(config_fabric, a_reset_switch_is_silent_then_back_with_its_saved_set) {
    ASSERT_EQ(0, tv_set_chassis_mode(ctx, 3));
    fab.on_switch(0, [](sim::switch_state& s) { s.get<sim::chassis_state>().reset_ms = 60000; });
    ASSERT_EQ(0, tv_switch_reset(ctx));
    ASSERT_TRUE(fab.resets_seen(1));
    EXPECT_EQ(TV_ERR_NO_RESPONSE, tv_get_chassis_mode(ctx, nullptr));
    EXPECT_GE(fab.server().stats().restarting, 2u);  // the request and its resends: dropped
    tv_set_dest_addr(ctx, 0x108000);  // through it, too
    EXPECT_EQ(TV_ERR_NO_RESPONSE, tv_get_chassis_mode(ctx, nullptr));
    tv_restore_dest_addr(ctx);
    fab.on_switch(0, [](sim::switch_state& s) { s.silent_until = {}; });  // the restart is over
    uint32_t mode = 0;
    ASSERT_EQ(0, tv_get_chassis_mode(ctx, &mode));
    EXPECT_EQ(1u, mode);  // back online
}

// A temporary file holding `data`, positioned at its start.
std::FILE* file_of(const bytes& data) {
    std::FILE* f = std::tmpfile();
    std::fwrite(data.data(), 1, data.size(), f);
    std::rewind(f);
    return f;
}

bytes counting(std::size_t n, std::uint8_t from = 0) {
    bytes b(n);
    for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(from + i * 7);
    return b;
}

TEST_F(config_fabric, firmware_load_sends_numbered_blocks_of_one_sequence_number) {
    const bytes image = counting(600, 1);
    std::FILE* f = file_of(image);
    ASSERT_EQ(0, tv_codeload(ctx, f, 600));
    std::fclose(f);
    EXPECT_EQ(0, Long_Poll);
    const auto reqs = fab.requests();
    ASSERT_EQ(3u, reqs.size());
    const std::uint16_t lens[3] = {256, 256, 88};
    for (std::size_t b = 0; b < 3; ++b) {
        ASSERT_EQ(516u, reqs[b].size());
        EXPECT_EQ(T::cmd_codeload, w::get_be16(reqs[b], 8));
        EXPECT_EQ(w::get_be32(reqs[0], 12), w::get_be32(reqs[b], 12));
        EXPECT_EQ(b, w::get_be16(reqs[b], 16));
        EXPECT_EQ(lens[b], w::get_be16(reqs[b], 18));
        EXPECT_EQ(600u, w::get_be32(reqs[b], 20));
        EXPECT_TRUE(std::equal(reqs[b].begin() + 24, reqs[b].begin() + 24 + lens[b], image.begin() + 256 * b));
        EXPECT_TRUE(std::all_of(reqs[b].begin() + 24 + lens[b], reqs[b].end() - 4, [](auto v) { return v == 0; }));
    }
    EXPECT_EQ(image, fab.on_switch(0, [](sim::switch_state& s) { return s.get<sim::transfer_state>().firmware; }));

    // A block out of order is refused, and the switch says why.
    bytes stray(516, 0);
    tv::build_request(ctx, stray, T::cmd_codeload);
    w::put_be16(stray, 16, 5);
    w::put_be16(stray, 18, 10);
    w::put_be32(stray, 20, 600);
    bytes ret(28);
    EXPECT_EQ(TV_ERR_SWITCH, tv::exchange(ctx, stray, ret).status);
    EXPECT_EQ("firmware load: block 5 out of order (expected 0); transfer abandoned",
              fab.on_switch(0, [](sim::switch_state& s) { return s.get<sim::transfer_state>().log.back(); }));
}

TEST_F(config_fabric, download_and_upload_block_sequences) {
    const bytes data = counting(1000);
    ASSERT_EQ(0, tv_download2(ctx, 0x102, 0x207, data.data(), 1000));  // the low bytes: 2 and 7
    EXPECT_EQ(70, g_ip_timeout);
    EXPECT_EQ(500, g_timeout);
    auto reqs = fab.requests();
    ASSERT_EQ(4u, reqs.size());
    for (std::size_t b = 0; b < 4; ++b) {
        EXPECT_EQ((bytes{2, 7, b == 0 ? std::uint8_t{1} : std::uint8_t{0}, 0}), bytes(reqs[b].begin() + 16, reqs[b].begin() + 20));
        EXPECT_EQ(b, w::get_be16(reqs[b], 24));
        EXPECT_EQ(b < 3 ? 256 : 232, w::get_be16(reqs[b], 26));
        EXPECT_EQ(1000u, w::get_be32(reqs[b], 28));
        if (b > 0) {
            EXPECT_NE(w::get_be32(reqs[b - 1], 12), w::get_be32(reqs[b], 12));
        }
    }

    fab.server().clear_records();
    std::uint8_t* buf = nullptr;
    std::uint32_t len = 0;
    ASSERT_EQ(0, tv_upload(ctx, 2, 7, &buf, &len));
    ASSERT_EQ(1000u, len);
    EXPECT_EQ(data, bytes(buf, buf + len));
    std::free(buf);
    reqs = fab.requests();
    const auto ans = fab.answers();
    ASSERT_EQ(3u, reqs.size());
    for (std::size_t b = 0; b < 3; ++b) {
        EXPECT_EQ(480 * b, w::get_be32(reqs[b], 24));
        EXPECT_EQ(480, w::get_be16(reqs[b], 20));
        EXPECT_EQ(b < 2 ? 480 : 40, w::get_be16(ans[b], 20));  // the last block is the rest
    }
    EXPECT_EQ(107, tv_upload(ctx, 9, 9, &buf, &len));  // no such store
    EXPECT_EQ(nullptr, buf);

    // A file download carries two blocks at most: the third fails and nothing is stored.
    const auto stores = [&] {
        return fab.on_switch(0, [](sim::switch_state& s) { return s.get<sim::transfer_state>().stores.size(); });
    };
    const std::size_t before = stores();
    fab.server().clear_records();
    std::FILE* f = file_of(counting(600));
    EXPECT_EQ(107, tv_download(ctx, 5, f, 600));
    std::fclose(f);
    EXPECT_EQ(2u, fab.requests().size());
    EXPECT_EQ(before, stores());
    f = file_of(counting(300));
    ASSERT_EQ(0, tv_download(ctx, 5, f, 300));
    std::fclose(f);
    EXPECT_EQ(counting(300),
              fab.on_switch(0, [](sim::switch_state& s) { return s.get<sim::transfer_state>().stores.at({5, 0}); }));
}

// ---- The telvar commands ----

const char* const timeouts = "Timeout Values:\n  edtov:\t%d\n  mfstov:\t%d\n  ratov:\t10000\n  rttov:\t100\n";

std::string tovs_text(const char* which, int ed, int mfs) {
    char buf[160];
    std::snprintf(buf, sizeof buf, timeouts, ed, mfs);
    return std::string(which) + buf;
}

TEST_F(config_fabric, chassis_tovs_saves_and_a_reset_brings_the_saved_values_back) {
    auto r = telvar({"chassis_tovs", "-s", "-e", "2500", sw1});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(tovs_text("Saved:\n", 2500, 0), r.out);
    r = telvar({"chassis_tovs", "-e", "3000", "-m", "70000", sw1});
    EXPECT_EQ(tovs_text("Active:\n", 3000, 4464), r.out);
    EXPECT_EQ("SUCCESS\n", telvar({"switch_reset", sw1}).out);
    ASSERT_TRUE(fab.resets_seen(1));
    EXPECT_EQ(tovs_text("Active:\n", 2500, 0), telvar({"chassis_tovs", sw1}).out);
    // A value the switch refuses.
    r = telvar({"chassis_tovs", "-a", "1000", sw1});
    EXPECT_EQ("Set switch TOVs:  Error: Switch responded to command with an error\n", r.out);
}

TEST_F(config_fabric, chassis_mode_reports_mode_and_stage_type) {
    EXPECT_EQ("Chassis-mode: 1 online\nStage Type: Crosslink\n", telvar({"chassis_mode", sw1}).out);
    EXPECT_EQ("Chassis-mode: 3 test\nStage Type: I/O Transfer\n",
              telvar({"chassis_mode", "-s", "test", "127.0.31.3"}).out);
    EXPECT_EQ("Chassis-mode: 1 online\nStage Type: SL Zones\n", telvar({"chassis_mode", "-f", "10c000", sw1}).out);
    fab.on_switch(2, [](sim::switch_state& s) { s.get<sim::chassis_state>().type = 2; });
    EXPECT_EQ("Chassis-mode: 2 offline\nStage Type: Hub\n", telvar({"chassis_mode", "-s", "off", "127.0.31.4"}).out);
}

const std::string example = std::string(TELVAR_SOURCE_DIR) + "/docs/switch-defaults.txt";

TEST_F(config_fabric, defaults_file_effects_read_back) {
    auto r = telvar({"defaults", sw1, example});
    EXPECT_EQ("filename: " + example + "\nSUCCESS\n", r.out);
    EXPECT_EQ("", r.err);
    EXPECT_EQ((subs{3, 0, 4, 6, 0}), fab.subcommands());  // 0: the network read and write; no port count

    tv_net_config net{};
    ASSERT_EQ(0, tv_get_net_config(ctx, &net));
    EXPECT_EQ(0x7F001F02u, net.ip_addr);  // the switch's own
    EXPECT_EQ(0xFFFFFF00u, net.ip_mask);
    EXPECT_EQ(0x0A1401FFu, net.ip_broadcast);
    EXPECT_EQ(0x0A1401FEu, net.ip_gateway);
    EXPECT_EQ(0u, net.ip_auto);
    EXPECT_EQ(900u, net.arp_timeout);
    tv_switch_tovs saved{};
    ASSERT_EQ(0, tv_get_switch_tovs(ctx, 0, &saved));
    EXPECT_EQ(4000, saved.edtov);
    EXPECT_EQ(12000, saved.ratov);
    EXPECT_EQ(100, saved.mfstov);
    tv_port_mfs_modes modes{};
    ASSERT_EQ(0, tv_get_port_mfs_mode(ctx, &modes));
    EXPECT_EQ((bytes{4, 4, 4, 4, 0, 0, 0, 0, 0}), bytes(modes.modes, modes.modes + 9));
    tv_free_port_mfs_mode(&modes);
    const auto force = fab.on_switch(0, [](sim::switch_state& s) { return s.get<sim::chassis_state>().saved.force_f_port; });
    EXPECT_EQ((bytes{0, 0, 0, 0, 1, 1, 0}), bytes(force.begin(), force.begin() + 7));
}

TEST_F(config_fabric, defaults_files_with_bad_input_say_what_went_wrong) {
    auto r = telvar({"defaults", sw1, "/nonexistent/defaults"});
    EXPECT_EQ(1, r.status);  // the file named on the command line is what must change
    EXPECT_EQ("filename: /nonexistent/defaults\n Error opening input file: /nonexistent/defaults \n", r.out);

    // The library's reader applies what it can of any line and says on its log what it made of
    // the rest. (The tool reads such a file first and refuses it whole: hostile_files_test.)
    const auto upload = [&](const std::string& text, std::string& logged) {
        std::FILE* file = std::tmpfile();
        std::FILE* log = std::tmpfile();
        std::fputs(text.c_str(), file);
        std::rewind(file);
        tv_api_open(log);
        const int32_t status = upload_settings(ctx, file);
        tv_api_open(stderr);
        std::fclose(file);
        std::rewind(log);
        logged.clear();
        for (int c; (c = std::fgetc(log)) != EOF;) logged += static_cast<char>(c);
        std::fclose(log);
        return status;
    };
    std::string logged;
    EXPECT_NE(0, upload("ED_TOV abc\nfoo 1\nIP_ArpTimeout\n" + std::string(100, 'x') + "\n", logged));  // E_D_TOV 0 refused
    EXPECT_EQ("defaults: line 1: ED_TOV: 'abc' is not a decimal number; 0 is used\n"
              "defaults: line 2: unknown key foo ignored\n"
              "defaults: line 3: IP_ArpTimeout has no value; ignored\n"
              "defaults: line 4 is longer than 78 characters; each piece of it is read as a line\n"
              "defaults: line 4: unknown key " + std::string(78, 'x') + " ignored\n"
              "defaults: line 4: unknown key " + std::string(22, 'x') + " ignored\n"
              "Set config Error",
              logged.substr(0, logged.find("Set config Error") + 16));
    EXPECT_EQ(2000u, fab.on_switch(0, [](sim::switch_state& s) { return s.get<sim::chassis_state>().active.ed_tov; }));

    EXPECT_EQ(ENOENT, upload("ip_gateway 10.0.0.9\nflash /nonexistent/image.bin\nED_TOV 1000\n", logged));
    EXPECT_NE(std::string::npos, logged.find("line 2: cannot open the firmware file /nonexistent/image.bin"));
    // The lines before it are applied; the line after it is never read.
    EXPECT_EQ(0x0A000009u, fab.on_switch(0, [](sim::switch_state& s) { return s.get<sim::chassis_state>().net.ip_gateway; }));
    EXPECT_EQ(2000u, fab.on_switch(0, [](sim::switch_state& s) { return s.get<sim::chassis_state>().active.ed_tov; }));
}

}  // namespace
