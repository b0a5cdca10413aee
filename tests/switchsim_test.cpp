// The simulator as a server: routing, framing, refusals, login, faults, fabric files and
// captures. Requests are built and exchanged with the library's own framing.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>

#include "support/sim_fixture.h"
#include "support/temp_folder.h"
#include "support/test_addresses.h"
#include "switchsim/core/capture.h"
#include "switchsim/core/dispatch.h"
#include "switchsim/core/fabric_file.h"
#include "switchsim/core/faults.h"

namespace {

namespace w = tv::wire;
using bytes = std::vector<std::uint8_t>;

class simulator : public tvtest::fabric_test {
protected:
    simulator() : fabric_test(tvtest::addr::simulator_base) {}
    std::array<std::uint8_t, 512> resp{};

    // Exchanges a configuration request of `len` bytes; returns the answer's length.
    int32_t config(std::uint32_t sub, std::size_t len = 24, bytes payload = {}) {
        bytes req(len, 0);
        tv::build_config_request(ctx, req, sub);
        for (std::size_t i = 0; i < payload.size(); ++i) req[20 + i] = payload[i];
        return finish(tv::exchange(ctx, req, resp));
    }
    int32_t version() {
        std::array<std::uint8_t, 20> req{};
        tv::build_request(ctx, req, TV_CMD_VERSION);
        return finish(tv::exchange(ctx, req, resp));
    }
    // The answer's length, with the status left in tv_api_errno as the C interface leaves it.
    static int32_t finish(tv::exchanged x) {
        tv::publish(x.status);
        return x.length;
    }
    // Sends raw bytes and says whether any answer came within 200 ms.
    bool answered(bytes raw) {
        tv_send(ctx, raw.data(), static_cast<int32_t>(raw.size()));
        std::array<std::uint8_t, 512> buf{};
        return tv_listen(ctx, buf.data(), 512, 200) != TV_ERR_NO_RESPONSE;
    }
};

// Answers through the fabric: every tool test that reads another switch (-f).
TEST_F(simulator, a_destination_no_switch_owns_is_counted_and_never_answered) {
    tv_set_dest_addr(ctx, 0x3FC000);  // chassis 63: nobody
    EXPECT_EQ(0, version());
    EXPECT_EQ(TV_ERR_NO_RESPONSE, tv_api_errno);
    EXPECT_EQ(6u, fab.server().stats().unroutable);
}

TEST_F(simulator, unknown_commands_bad_checksums_and_malformed_requests) {
    EXPECT_EQ(0, config(0x999));
    EXPECT_EQ(TV_ERR_NOT_RECOGNIZED, tv_api_errno);

    bytes req(24, 0);
    tv::build_config_request(ctx, req, 0x64);
    tv_set_chksum(req.data(), 24);
    req[23] ^= 1;
    EXPECT_FALSE(answered(req));
    EXPECT_EQ(1u, fab.server().stats().bad_checksum);

    req.resize(19);  // shorter than header and checksum
    EXPECT_FALSE(answered(req));
    bytes wrong_length(24, 0);
    tv::build_config_request(ctx, wrong_length, 0x64);
    w::put_be16(wrong_length, 10, 9);
    tv_set_chksum(wrong_length.data(), 24);
    EXPECT_FALSE(answered(wrong_length));
    EXPECT_EQ(2u, fab.server().stats().malformed);
}

// Loss, a refusal status, corruption and delays are what the tests built on faults read past
// (dissector_test, fault_schedule_test, changes_under_loss_test); here the order and framing of
// the answers a stale, duplicate or reorder rule sends.
TEST_F(simulator, stale_duplicate_and_reordered_answers_are_framed_and_ordered) {
    std::string why;
    // A stale answer first (the previous one to this manager), then the answer and a
    // duplicate of it: each framed with a right checksum.
    EXPECT_EQ(88, version());
    fab.server().add_fault(*sim::parse_fault("stale,cmd=7,count=1", why));
    fab.server().add_fault(*sim::parse_fault("duplicate,cmd=7,count=1", why));
    fab.server().clear_records();
    EXPECT_EQ(88, version());
    const std::vector<bytes> sent = fab.answers();
    ASSERT_EQ(3u, sent.size());
    EXPECT_LT(w::get_be32(sent[0], 12), w::get_be32(sent[1], 12));
    EXPECT_EQ(sent[1], sent[2]);
    for (const auto& d : sent) EXPECT_EQ(1, tv_verify_chksum(d.data(), static_cast<int32_t>(d.size())));
    EXPECT_EQ(0, tv_listen(ctx, resp.data(), 512, 500));  // the duplicate, still queued

    // A held-back answer follows the next one: the resent request's answer comes first.
    fab.server().clear_records();
    fab.server().add_fault(*sim::parse_fault("reorder,cmd=7,count=1", why));
    EXPECT_EQ(88, version());
    EXPECT_EQ(2u, fab.requests().size());
    EXPECT_EQ(0, tv_listen(ctx, resp.data(), 512, 500));  // the held one, right after
}

TEST(handler_index, refuses_two_families_that_claim_one_command) {
    static constexpr std::array<sim::handler_entry, 1> mine{{{TV_CMD_CONFIG, 0x64, nullptr, true, "a"}}};
    static constexpr std::array<sim::handler_entry, 2> theirs{
        {{TV_CMD_VERSION, 0, nullptr, false, "b"}, {TV_CMD_CONFIG, 0x64, nullptr, true, "c"}}};
    const sim::family_info first{.name = "first", .handlers = mine};
    const sim::family_info second{.name = "second", .handlers = theirs};
    const std::array<const sim::family_info*, 2> planted{&first, &second};
    std::string why;
    EXPECT_FALSE(sim::handler_index::build(planted, why));
    EXPECT_EQ("families 'first' and 'second' both handle command 0x30 sub-command 0x64", why);

    const auto index = sim::handler_index::build(sim::all_families(), why);
    ASSERT_TRUE(index) << why;
    EXPECT_STREQ("port types", index->find(TV_CMD_CONFIG, 0x64)->name);
    EXPECT_STREQ("version", index->find(TV_CMD_VERSION, 0x64)->name);  // no sub-command there
    EXPECT_EQ(nullptr, index->find(TV_CMD_CONFIG, 0x65));
}

TEST(fault_rules, parse_and_refuse) {
    std::string why;
    auto r = sim::parse_fault("delay=250,cmd=0x30,sub=0x64,p=0.5,count=3", why);
    ASSERT_TRUE(r);
    EXPECT_EQ(sim::fault_kind::delay, r->kind);
    EXPECT_EQ(250u, r->value);
    EXPECT_EQ(0x30, *r->command);
    EXPECT_EQ(0x64u, *r->subcommand);
    EXPECT_DOUBLE_EQ(0.5, r->probability);
    EXPECT_EQ(3, r->count);
    EXPECT_EQ(0x30, *sim::parse_fault("drop,sub=0x50", why)->command);

    const std::array<std::pair<const char*, const char*>, 4> bad{{
        {"explode", "unknown fault 'explode'"},
        {"delay", "delay needs a value: delay=MS"},
        {"drop,p=2", "p must be a probability from 0 to 1: '2'"},
        {"drop,cmd=zz", "bad fault option 'cmd=zz' (cmd=C, sub=S, p=P, count=N)"},
    }};
    for (auto [text, message] : bad) {
        EXPECT_FALSE(sim::parse_fault(text, why)) << text;
        EXPECT_EQ(0u, why.find(message)) << text << ": " << why;
    }

    // Same seed, same decisions.
    sim::fault_plan a(7), b(7);
    a.add(*sim::parse_fault("drop,p=0.5", why));
    b.add(*sim::parse_fault("drop,p=0.5", why));
    int drops = 0;
    for (int i = 0; i < 200; ++i) {
        const bool da = a.decide(7, 0).drop;
        EXPECT_EQ(da, b.decide(7, 0).drop);
        drops += da;
    }
    EXPECT_GT(drops, 50);
    EXPECT_LT(drops, 150);
}

TEST(fabric_file, reads_a_small_fabric_and_names_the_field_of_an_error) {
    std::string why;
    const auto f = sim::parse_fabric(R"({
      "switches": [
        {"name": "edge", "ip": "127.0.6.20", "chassis": 5, "flash_rev": "0x40119a", "latency_ms": 3,
         "wwn": "10:00:00:00:5e:00:53:05", "port_count": 8,
         "ports": [{"type": "FL", "devices": [{"alpa": "0x01", "port_wwn": "2100005e00530501",
                                               "node_wwn": "2000005e00530501"}]},
                   {"type": "T"}]},
        {"name": "core", "chassis": 6, "login_required": true,
         "users": [{"id": "root", "password": "secret", "level": 3}]}
      ],
      "links": [{"from": "edge:2", "to": "core:1"}]
    })", why);
    ASSERT_TRUE(f) << why;
    ASSERT_EQ(2u, f->switches.size());
    const auto& edge = f->switches[0];
    EXPECT_EQ(0x114000u, edge.fc_addr);
    EXPECT_EQ(8u, edge.ports.size());
    EXPECT_EQ(2, edge.get<sim::port_state>().active[0].type);
    EXPECT_EQ(0, edge.get<sim::port_state>().active[0].al_disabled);
    EXPECT_EQ(1u, edge.ports[0].devices.size());
    EXPECT_EQ(0x05, edge.get<sim::identity_state>().wwn[7]);
    EXPECT_EQ(0u, f->switches[1].ip);  // reachable only through the fabric
    EXPECT_EQ(16u, f->switches[1].ports.size());
    EXPECT_EQ(std::chrono::milliseconds(3), edge.latency);
    EXPECT_EQ(std::chrono::milliseconds(0), f->switches[1].latency);
    ASSERT_EQ(1u, f->links.size());
    EXPECT_EQ(1, f->links[0].port_a);

    // Files that are too large, too deep or no regular file: hostile_files_test.
    const std::array<std::pair<std::string, const char*>, 20> bad{{
        {R"({"switches": [{"ports": [{"type": "X"}]}]})",
         "switches[0].ports[0].type: expected one of F, FL, T, SL, TL"},
        {R"({"switches": [{"chassis": 64}]})", "switches[0].chassis: 64 is above 63"},
        {R"({"switches": [{"wwn": "1234"}]})", "switches[0].wwn: expected 16 hexadecimal digits"},
        {R"({"switches": [{"colour": "red"}]})", "switches[0]: unknown field 'colour'"},
        {R"({"switches": [{"chassis": 1}, {"chassis": 1}]})", "fabric: switch sw2: chassis 1 is used twice"},
        {R"({"switches": [{}], "links": [{"from": "sw1:1", "to": "sw9:1"}]})",
         "links[0].to: no switch named 'sw9'"},
        {R"({"switches": [{"chassis": 1, "chassis": 2}]})", "fabric: the key 'chassis' appears twice in one object"},
        {R"({"switches": [{"fc_addr": "0x1104000"}]})", "switches[0].fc_addr: 17842176 is above 16777215"},
        {R"({"switches": [{"temperature": 4294967297}]})", "switches[0].temperature: 4294967297 is above 2147483647"},
        {R"({"switches": [{"temperature": "hot"}]})", "switches[0].temperature: expected a whole number from -2147483648 to 2147483647"},
        {R"({"switches": [{"latency_ms": -1}]})", "switches[0].latency_ms: expected a whole number from 0 to 10000"},
        {R"({"switches": [{"users": [{"id": "a", "level": 0}]}]})", "switches[0].users[0].level: levels run from 1 to 3"},
        {R"({"switches": [{"users": [{"id": "a"}, {"id": "a"}]}]})", "switches[0].users[1].id: 'a' is used twice"},
        {R"({"switches": [{"ip": "127.0.0.2"}, {"name": "sw1"}]})", "fabric: switch sw1: the name is used twice"},
        {R"({"switches": [{}]})", "fabric: no switch has an IP address, so nothing can be reached"},
        {R"({"switches": [{"traps": [{"code": 32}]}]})", "switches[0].traps[0].code: 32 is above 31"},
        {R"({"switches": [{"traps": [{"code": 3}, {"code": 3}]}]})", "switches[0].traps[1].code: trap code 3 is given twice"},
        {R"({"switches": [{"ports": [{"devices": [{"port_wwn": "2100005e00530501", "node_wwn": "2000005e00530501"},
                                                {"port_wwn": "2100005e00530502", "node_wwn": "2000005e00530502"}]}]}]})",
         "switches[0].ports[0].devices[1]: another device of the port has ALPA 0"},
        {R"({"switches": [{"ip": "127.0.0.2"}], "name_server": {"after_last": "stop"}})",
         "name_server.after_last: expected one of wrap, refuse"},
        {R"({"switches": [{"ip": "127.0.0.2"}], "nameserver": {}})", "fabric: unknown field 'nameserver'"},
    }};
    for (const auto& [text, message] : bad) {
        EXPECT_FALSE(sim::parse_fabric(text, why)) << text.substr(0, 80);
        EXPECT_EQ(message, why);
    }
    EXPECT_FALSE(sim::parse_fabric(R"({"switches": [)", why));
    EXPECT_EQ(0u, why.find("not valid JSON: ")) << why;  // then the JSON reader's own words
    EXPECT_FALSE(sim::load_fabric_file("/nonexistent.json", why));
    EXPECT_EQ("/nonexistent.json: cannot be read: No such file or directory", why);
}

TEST(capture, pcap_file_holds_each_datagram_with_ip_and_udp_headers) {
    const std::string path = ::testing::TempDir() + "capture_test.pcap";
    {
        sim::pcap_writer pcap;
        ASSERT_TRUE(pcap.open(path));
        sockaddr_in a{}, b{};
        a.sin_addr.s_addr = inet_addr("127.0.0.1");
        a.sin_port = htons(5001);
        b.sin_addr.s_addr = inet_addr("127.0.6.2");
        b.sin_port = htons(5000);
        pcap.write(a, b, bytes(20, 0x11));
        pcap.write(b, a, bytes(88, 0x22));
    }
    const std::string text = tvtest::read_file(path);
    const bytes file(text.begin(), text.end());
    // The file header, the link type and the UDP ports are what tshark needs to decode a capture
    // at all: dissector_test reads the simulator's captures with it.
    ASSERT_EQ(24u + (16 + 28 + 20) + (16 + 28 + 88), file.size());
    const std::size_t ip = 24 + 16;
    EXPECT_EQ(48u, w::get_be16(file, ip + 2));
    // The IPv4 header checksum verifies: the ones' complement sum of its words is 0xFFFF.
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < 20; i += 2) sum += w::get_be16(file, ip + i);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    EXPECT_EQ(0xFFFFu, sum);
}

}  // namespace
