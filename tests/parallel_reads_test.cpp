// Reads side by side across the switches of a fabric (tv_api/lanes.h) against the sequential
// reading of the same fabric: the same document and the same name-server objects, without
// faults and with faults that do not make a read fail (duplicated, reordered, delayed and
// corrupted answers), one request outstanding per switch with several switches in flight.
// Also the simulator's latency model and its loop over many addresses.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <set>

#include "exporter/scrape.h"
#include "support/run_tool.h"
#include "support/saved_globals.h"
#include "support/sim_fixture.h"
#include "support/test_addresses.h"
#include "telvar/data/fabric_snapshot.h"
#include "telvar/data/fabric_walk.h"
#include "tv_api/lanes.h"

namespace {

namespace w = tv::wire;
using json = telvar::snapshot::json;

using tvtest::generated_fabric;
using tvtest::with_faults;

// What of a document depends on when it was taken: the time, the uptimes and the port
// counters (the simulated traffic runs on the clock).
json without_clock(json doc) {
    doc.erase("taken_at");
    for (json& sw : doc["switches"]) {
        if (sw.contains("system")) sw["system"].erase("uptime");
        if (sw.contains("ports"))
            for (json& p : sw["ports"]) p.erase("counters");
    }
    return doc;
}

class parallel_reads : public ::testing::Test {
protected:
    void open(const char* base) {
        Discover = 0;
        tv_api_open(nullptr);
        tv_set_strict_answers(1);
        ctx_ = tv_open(base);
        ASSERT_NE(nullptr, ctx_);
    }
    void TearDown() override {
        if (ctx_ != nullptr) tv_close(ctx_);
        tv::set_lanes_mode(tv::lanes_mode::never);
    }

    json snapshot(tv::lanes_mode m) {
        tv::set_lanes_mode(m);
        ctx_->dest_fc_addr = TV_DEFAULT_DEST;
        return without_clock(telvar::snapshot::take(ctx_, "test", telvar::snapshot::section::all));
    }

    std::vector<tv_nameserver_entry> sequential_name_server() {
        std::vector<tv_nameserver_entry> out;
        EXPECT_EQ(TV_OK, tv::walk_nameserver(ctx_, [&](const tv_nameserver_entry& e) {
            out.push_back(e);
            return true;
        }));
        return out;
    }

    std::vector<tv_nameserver_entry> ranged_name_server(std::span<const std::uint32_t> switches,
                                                        int32_t expected = TV_OK) {
        std::vector<tv_nameserver_entry> out;
        EXPECT_EQ(expected, tv::walk_nameserver_ranges(*ctx_, switches, [&](const tv_nameserver_entry& e) {
            out.push_back(e);
            return true;
        }));
        return out;
    }

    static bool same(const std::vector<tv_nameserver_entry>& a, const std::vector<tv_nameserver_entry>& b) {
        return a.size() == b.size() &&
               std::equal(a.begin(), a.end(), b.begin(), [](const auto& x, const auto& y) {
                   return std::memcmp(&x, &y, sizeof x) == 0;
               });
    }

    tvtest::saved_globals globals_;
    tv_context* ctx_ = nullptr;
};

// Requests outstanding at once, from the record of one read: the most to one switch, and the
// most in all.
struct in_flight {
    std::size_t per_switch = 0;
    std::size_t total = 0;
};

in_flight outstanding(const std::vector<sim::record>& records) {
    std::map<std::uint32_t, std::uint32_t> dest_of;  // by sequence number
    std::map<std::uint32_t, std::size_t> open;        // by destination
    std::size_t total = 0;
    in_flight most;
    for (const auto& r : records) {
        const std::uint32_t seq = w::get_be32(r.bytes, tv::off::seq);
        if (r.dir == sim::record::direction::in) {
            const std::uint32_t dest = w::get_be24(r.bytes, tv::off::dest);
            dest_of[seq] = dest;
            most.per_switch = std::max(most.per_switch, ++open[dest]);
            most.total = std::max(most.total, ++total);
        } else if (const auto it = dest_of.find(seq); it != dest_of.end()) {
            --open[it->second];
            --total;
            dest_of.erase(it);
        }
    }
    return most;
}

TEST_F(parallel_reads, snapshot_is_the_sequential_document_one_request_per_switch_at_a_time) {
    // With a latency the server's record shows the requests waiting for their answers.
    sim::fabric slow = generated_fabric(6, 300, tvtest::addr::parallel_base);
    for (auto& s : slow.switches) s.latency = std::chrono::milliseconds(1);
    tvtest::running_fabric fab(std::move(slow));
    open(tvtest::addr::parallel_base);
    const json sequential = snapshot(tv::lanes_mode::never);
    EXPECT_EQ(1u, outstanding(fab.server().records()).total);
    ASSERT_EQ(6u, sequential["switches"].size());
    ASSERT_EQ(300u, sequential["name_server"]["devices"].size());

    fab.server().clear_records();
    EXPECT_EQ(sequential, snapshot(tv::lanes_mode::always));
    const in_flight f = outstanding(fab.server().records());
    EXPECT_EQ(1u, f.per_switch);
    EXPECT_GT(f.total, 3u);
}

TEST_F(parallel_reads, snapshot_reads_past_duplicated_reordered_delayed_and_spoiled_answers) {
    tvtest::running_fabric fab(generated_fabric(5, 120, tvtest::addr::parallel_faults_base),
                               with_faults({"duplicate,p=0.2", "reorder,p=0.05", "delay=20,p=0.1",
                                            "corrupt,p=0.05", "stale,p=0.1"}, 7));
    open(tvtest::addr::parallel_faults_base);
    const auto before = tv::answers_read_past();
    const json sequential = snapshot(tv::lanes_mode::never);
    const auto between = tv::answers_read_past();
    const json side_by_side = snapshot(tv::lanes_mode::always);
    const auto after = tv::answers_read_past();
    for (const json& sw : sequential["switches"]) EXPECT_EQ(0, sw["status"]["code"]) << sw["fc_address"];
    EXPECT_EQ(sequential, side_by_side);
    // Both read past what the faults sent: stale copies and spoiled answers.
    EXPECT_GT(between.stale, before.stale);
    EXPECT_GT(between.spoiled, before.spoiled);
    EXPECT_GT(after.stale, between.stale);
    EXPECT_GT(after.spoiled, between.spoiled);
}

// What a scrape says of each switch that does not run on the clock, one line each.
std::vector<std::string> scraped(const exporter::scrape_result& r) {
    std::vector<std::string> out;
    for (const auto& s : r.switches) {
        std::string line = s.target + " " + std::to_string(s.fc_address) + " " + s.wwn + " up " +
                           std::to_string(s.up) + " errors " + std::to_string(s.errors) + " objects " +
                           std::to_string(s.name_server_objects.value_or(-1)) + " ports";
        for (const auto& p : s.ports)
            line += " " + std::to_string(p.type) + "/" + (p.state ? std::to_string(p.state->operational) + std::to_string(p.state->admin) : "-") + "/" +
                    std::to_string(p.counters.has_value());
        out.push_back(line);
    }
    for (const auto& [target, n] : r.fabric_objects) out.push_back(target + " objects " + std::to_string(n));
    return out;
}

TEST_F(parallel_reads, exporter_scrape_says_what_the_sequential_one_says) {
    tvtest::running_fabric fab(generated_fabric(5, 150, tvtest::addr::parallel_scrape_base),
                               with_faults({"duplicate,p=0.2", "delay=10,p=0.1", "reorder,p=0.05"}, 7));
    tv_api_open(nullptr);
    tv_set_strict_answers(1);
    Discover = 0;
    exporter::scrape_options o;
    o.fabric = true;
    o.deadline = std::chrono::seconds(60);
    tv::set_lanes_mode(tv::lanes_mode::never);
    const auto sequential = scraped(exporter::scrape({tvtest::addr::parallel_scrape_base}, o));
    ASSERT_EQ(6u, sequential.size());  // five switches and the fabric's object count
    EXPECT_EQ(tvtest::addr::parallel_scrape_base + std::string(" objects 150"), sequential.back());
    tv::set_lanes_mode(tv::lanes_mode::always);
    EXPECT_EQ(sequential, scraped(exporter::scrape({tvtest::addr::parallel_scrape_base}, o)));
}

// The tool's fabric-wide commands print the same both ways (TELVAR_READS), on a fabric whose
// switches take a millisecond to answer, with answers duplicated and delayed. (map and panel
// draw a snapshot: the snapshot tests above, and pictures_test's live map against a saved one.)
TEST(parallel_tool, links_and_nameserver_print_what_the_sequential_reads_print) {
    sim::fabric f = generated_fabric(6, 180, tvtest::addr::parallel_tool_base);
    for (auto& s : f.switches) s.latency = std::chrono::milliseconds(1);
    tvtest::running_fabric fab(std::move(f), with_faults({"duplicate,p=0.2", "delay=10,p=0.1"}, 7));
    const std::string ip = tvtest::addr::parallel_tool_base;
    const auto printed = [&](std::vector<std::string> args, const char* reads) {
        args.insert(args.end(), {"-port", "0"});
        const auto r = tvtest::run_tool(TELVAR_BIN, args, {std::string("TELVAR_READS=") + reads});
        EXPECT_EQ(0, r.status) << args[0] << r.err;
        return r.out;
    };
    for (const std::vector<std::string>& line :
         {std::vector<std::string>{"links", ip}, {"links", ip, "-f", "0x10c000"}, {"nameserver", ip}}) {
        const std::string sequential = printed(line, "sequential");
        EXPECT_GT(sequential.size(), 500u) << line[0];
        EXPECT_EQ(sequential, printed(line, "side-by-side")) << line[0];
    }
}

// Visits that finish out of turn keep their text (deflated) until the ones before them end:
// what comes out is each visit's text whole and in visit order, whatever the text is, even
// bytes that do not deflate at all and pieces larger than the blocks they are kept in.
TEST(in_walk_order, texts_kept_out_of_turn_come_out_whole_in_visit_order) {
    std::mt19937 random(5);
    std::string noise(70000, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    std::string record;
    for (int i = 0; i < 2000; ++i) record += "{\"alpa\":" + std::to_string(i % 126) + ",\"wwn\":\"21:00:5e\"},";
    const std::vector<std::vector<std::string>> pieces{
        {"head of 0,", "rest of 0"}, {noise.substr(0, 5), noise.substr(5)}, {}, {record, record.substr(7), "end"}};
    std::string expected;
    for (const auto& p : pieces)
        for (const auto& t : p) expected += t;

    using telvar::fabric::kept_texts;
    for (const kept_texts kept : {kept_texts::deflated, kept_texts::plain}) {
        SCOPED_TRACE(kept == kept_texts::deflated ? "kept deflated" : "kept plain");
        std::string out;
        telvar::fabric::in_walk_order order([&](std::string_view t) { out += t; }, kept);
        for (const int k : {3, 1, 2})  // ahead of their turn: kept
            for (const auto& t : pieces[static_cast<std::size_t>(k)]) order.write(k, t);
        order.finish(3);
        order.finish(2);
        order.write(0, pieces[0][0]);  // in its turn: straight through
        EXPECT_EQ("head of 0,", out);
        order.write(0, pieces[0][1]);
        order.finish(1);
        EXPECT_EQ(pieces[0][0].size() + pieces[0][1].size(), out.size());
        order.finish(0);
        EXPECT_EQ(expected.size(), out.size());
        EXPECT_TRUE(expected == out);
    }
}

TEST_F(parallel_reads, name_server_ranges_merge_to_the_sequential_walk) {
    // Devices of every kind the ranges pack: with and without names (one of the longest),
    // FC-4 types in several words, no class of service, an IP address, a node WWN that differs
    // from the port WWN in more than its first byte.
    sim::fabric f = generated_fabric(4, 200, tvtest::addr::parallel_ns_base);
    for (sim::port& p : f.switches[2].ports)
        for (std::size_t k = 0; k < p.devices.size(); k += 2) {
            sim::device& d = p.devices[k];
            d.port_name = "host-" + std::to_string(k);
            d.node_name = std::string(255, 'n');
            d.fc4_types = {8, 40, 255, 0x1c};
            d.cos = 0;
            d.ip = {10, 0, 0, static_cast<std::uint8_t>(k)};
            d.node_wwn[3] ^= 0x5a;
        }
    tvtest::running_fabric fab(std::move(f));
    open(tvtest::addr::parallel_ns_base);
    const auto sequential = sequential_name_server();
    ASSERT_EQ(200u, sequential.size());
    // The switches in any order, repeated, with an address between two and one beyond all
    // (both answered by chassis 2 and 1, whose numbers their bits 14-19 hold): the ranges
    // still cover the whole address space once.
    const std::vector<std::uint32_t> switches{0x110000, 0x104000, 0x10c000, 0x108000, 0x104000, 0x10a000, 0x504000};
    EXPECT_TRUE(same(sequential, ranged_name_server(switches)));
    EXPECT_TRUE(same(sequential, ranged_name_server({})));  // one range: the context's switch
    // Each range was walked through its own switch.
    std::set<std::uint32_t> asked;
    for (const auto& r : fab.requests())
        if (w::get_be16(r, tv::off::command) == TV_CMD_NAME_SERVER) asked.insert(w::get_be24(r, tv::off::dest));
    EXPECT_TRUE(asked.contains(0x10c000) && asked.contains(0x504000));
}

TEST_F(parallel_reads, a_failed_range_ends_the_merge_with_its_status_after_the_objects_before_it) {
    // Chassis 2 answers long after the budget: its range fails, the next one does not.
    sim::fabric f = generated_fabric(3, 90, tvtest::addr::parallel_fail_base);
    f.switches[1].latency = std::chrono::milliseconds(400);
    tvtest::running_fabric fab(std::move(f));
    open(tvtest::addr::parallel_fail_base);
    g_timeout = 100;
    const auto sequential = sequential_name_server();  // through chassis 1
    ASSERT_EQ(90u, sequential.size());
    const std::vector<std::uint32_t> switches{0x104000, 0x108000, 0x10c000};
    const auto merged = ranged_name_server(switches, TV_ERR_NO_RESPONSE);
    const auto first_beyond = std::ranges::find_if(sequential, [](const auto& e) { return e.port_id >= 0x108000; });
    EXPECT_TRUE(same({sequential.begin(), first_beyond}, merged));
}

TEST_F(parallel_reads, where_slow_uses_lanes_only_after_slow_answers) {
    sim::fabric f = generated_fabric(2, 0, tvtest::addr::parallel_latency_base);
    f.switches[0].latency = std::chrono::milliseconds(2);
    static_assert(tv::slow_answer_us < 2000);
    tvtest::running_fabric fab(std::move(f));
    open(tvtest::addr::parallel_latency_base);
    EXPECT_FALSE(tv::lanes_usable(ctx_));  // the library's default: never
    tv_version_info v{};
    tv::set_lanes_mode(tv::lanes_mode::where_slow);
    tv_set_dest_addr(ctx_, 0x108000);  // chassis 2 answers at once
    for (int i = 0; i < 4; ++i) ASSERT_EQ(TV_OK, tv_get_version(ctx_, &v));
    EXPECT_FALSE(tv::lanes_usable(ctx_));
    tv_set_dest_addr(ctx_, 0x104000);  // chassis 1 takes milliseconds
    for (int i = 0; i < 4; ++i) ASSERT_EQ(TV_OK, tv_get_version(ctx_, &v));
    EXPECT_TRUE(tv::lanes_usable(ctx_));
    ctx_->login_required = 1;  // a walk that logs into each switch goes one switch at a time
    EXPECT_FALSE(tv::lanes_usable(ctx_));
    ctx_->login_required = 0;
    tv::set_lanes_mode(tv::lanes_mode::never);
    EXPECT_FALSE(tv::lanes_usable(ctx_));
}

// A switch with a latency answers one request at a time: requests to it queue, while a switch
// without one answers at once, even to a request sent after them. Relayed requests cost the
// switch that answers them, not the one whose address they reached.
TEST(simulator_latency, a_busy_switch_queues_and_a_relayed_request_costs_the_switch_that_answers) {
    tvtest::saved_globals globals;
    sim::fabric f = generated_fabric(2, 0, tvtest::addr::latency_model_base);
    f.switches[1].latency = std::chrono::milliseconds(200);  // reached through switch 1
    tvtest::running_fabric fab(std::move(f));
    tv_api_open(nullptr);
    tv_context* ctx = tv_open(tvtest::addr::latency_model_base);
    ASSERT_NE(nullptr, ctx);
    const auto request = [&](std::uint32_t dest) {
        std::array<std::uint8_t, 20> req{};
        tv_set_dest_addr(ctx, dest);
        tv::write_header(ctx, req, TV_CMD_VERSION, req.size());
        tv::set_checksum(req);
        EXPECT_EQ(20, tv::send_datagram(ctx, req));
        return w::get_be32(req, tv::off::seq);
    };
    const std::uint32_t slow1 = request(0x108000), slow2 = request(0x108000), fast = request(0x104000);
    std::vector<std::uint32_t> order;
    std::array<std::uint8_t, 512> buf{};
    while (order.size() < 3) {
        ASSERT_EQ(TV_OK, tv_listen(ctx, buf.data(), static_cast<int32_t>(buf.size()), 2000));
        order.push_back(w::get_be32(buf, tv::off::seq));
    }
    EXPECT_EQ((std::vector{fast, slow1, slow2}), order);
    tv_close(ctx);
}

// More than 8 addresses are served by one epoll loop instead of a thread each: every switch
// answers on its own address, with its own identity, and the latency model holds there too.
TEST(simulator_loop, many_addresses_are_served_by_one_loop) {
    tvtest::saved_globals globals;
    std::string text = R"({"switches": [)";
    const in_addr_t base = ntohl(inet_addr(tvtest::addr::many_addresses_base));
    for (int i = 0; i < 12; ++i) {
        in_addr a{htonl(base + static_cast<in_addr_t>(i))};
        text += std::string(i ? "," : "") + R"({"ip": ")" + inet_ntoa(a) + R"(", "latency_ms": )" +
                (i % 3 == 0 ? "1" : "0") + "}";
    }
    tvtest::running_fabric fab(tvtest::fabric_at(text + "]}", tvtest::addr::many_addresses_base));
    ASSERT_EQ(12u, fab.server().addresses().size());
    tv_api_open(nullptr);
    tv_set_strict_answers(1);
    Discover = 0;
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 12; ++i) {
            in_addr a{htonl(base + static_cast<in_addr_t>(i))};
            tv_context* ctx = tv_open(inet_ntoa(a));
            ASSERT_NE(nullptr, ctx);
            tv_version_info v{};
            EXPECT_EQ(TV_OK, tv_get_version(ctx, &v)) << i;
            EXPECT_EQ(static_cast<std::uint32_t>(i + 1), tv::layout::topology::chassis_of(v.ver_info3)) << i;
            tv_close(ctx);
        }
    }
    EXPECT_EQ(24u, fab.server().stats().answered);
}

}  // namespace
