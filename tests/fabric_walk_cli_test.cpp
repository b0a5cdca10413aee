// Walks of the whole fabric by the telvar tool, as child processes against fabrics of the
// simulator in this process: switches that require a login (each is logged into and out of
// again), a fabric larger than the library's link display reaches, and the order in which
// diff names ports.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "proto/header.h"
#include "proto/topology/layout.h"
#include "support/sim_fixture.h"
#include "support/test_addresses.h"
#include "support/tool_test.h"

namespace {

using tvtest::args;
using json = nlohmann::json;
using tv::layout::topology::chassis_of;

const std::string sw1 = tvtest::addr::fabric_login_base;

class login_walks : public tvtest::tool_test {
protected:
    login_walks() : tool_test(tvtest::addr::fabric_login_base) {}

    // The chassis whose topology was asked for, and whether any answer said "login required".
    std::set<int> topology_read() {
        std::set<int> out;
        for (const auto& r : fab.server().records()) {
            const auto& b = r.bytes;
            if (r.dir == sim::record::direction::out || b.size() < 20) continue;
            if (tv::wire::get_be16(b, tv::off::command) != TV_CMD_CONFIG ||
                tv::wire::get_be32(b, tv::off::subcmd) != tv::layout::topology::subcmd::topology)
                continue;
            const std::uint32_t dest = b[5] << 16 | b[6] << 8 | b[7];
            out.insert(dest == TV_DEFAULT_DEST ? static_cast<int>(r.via) + 1 : chassis_of(dest));
        }
        return out;
    }
    bool refused_for_login() {
        for (const auto& r : fab.server().records())
            if (r.dir == sim::record::direction::out && r.bytes.size() > 2 && r.bytes[tv::off::status] == TV_HDR_STATUS_LOGIN)
                return true;
        return false;
    }
};

TEST_F(login_walks, every_switch_is_read_and_logged_out_of_with_a_login) {
    const std::string request = ::testing::TempDir() + "fabric_walk_version.txt";
    std::ofstream(request) << "11000000\n00fffffd\n00070004\n00000001\n";
    struct walk {
        args line;
        bool reads_fabric;  // reads the links of every switch
    };
    const std::vector<walk> walks{
        {{"snapshot", sw1}, true},
        {{"links", sw1}, true},
        {{"map", sw1}, true},
        {{"locate", sw1, "210000005e030201"}, true},
        {{"zone_lint", sw1}, true},
        {{"message", sw1, request}, false},
    };
    for (const walk& w : walks) {
        const std::string& word = w.line.front();
        fab.require_login(false);
        const auto plain = telvar(w.line);
        fab.require_login(true);
        fab.server().clear_records();
        args with_login = w.line;
        with_login.insert(with_login.begin() + 1, {"-u", "admin", "-p", "password"});
        const auto r = telvar(with_login);

        EXPECT_FALSE(refused_for_login()) << word;
        EXPECT_EQ(0u, fab.sessions()) << word;
        EXPECT_EQ(plain.status, r.status) << word << "\n" << r.err;
        if (w.reads_fabric) {
            EXPECT_EQ((std::set<int>{1, 2, 3}), topology_read()) << word;
        }
        if (word == "snapshot") {
            // Taken at another time: the switches and their statuses agree.
            const json doc = json::parse(r.out);
            ASSERT_EQ(3u, doc["switches"].size());
            for (const json& s : doc["switches"]) EXPECT_EQ(0, s["status"]["code"]) << s["chassis"];
        } else {
            EXPECT_EQ(plain.out, r.out) << word;
        }
    }
    // Without a login, message skips the port count that such a switch refuses, and is sent.
    const auto r = telvar({"message", sw1, request});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(0u, r.out.find("\nResponse Buffer\n\n00  11000000\n01  00fffffd\n02  00070048\n")) << r.out;
}

class large_fabric : public tvtest::tool_test {
protected:
    large_fabric() : tool_test(tvtest::generated_fabric(20, 0, tvtest::addr::large_fabric_base)) {}
};

TEST_F(large_fabric, links_prints_every_switch_in_the_order_json_links_lists_them) {
    const std::string ip = tvtest::addr::large_fabric_base;
    const std::string text = ok({"links", ip});
    std::vector<int> printed;
    const std::regex heading("\nChassis: ([0-9a-f]{2})      Remote");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), heading); it != std::sregex_iterator(); ++it)
        printed.push_back(std::stoi((*it)[1].str(), nullptr, 16));
    ASSERT_EQ(20u, printed.size()) << text;
    std::set<int> all(printed.begin(), printed.end());
    EXPECT_EQ(20u, all.size());
    EXPECT_EQ(1, *all.begin());
    EXPECT_EQ(20, *all.rbegin());
    // Each switch of the ring has its two links: 40 lines, each naming its far end.
    std::size_t lines = 0;
    for (std::size_t at = text.find("\n   Port:    "); at != std::string::npos; at = text.find("\n   Port:    ", at + 1))
        ++lines;
    EXPECT_EQ(40u, lines);

    const json doc = json::parse(ok({"--json", "links", ip}));
    std::vector<int> listed;
    for (const json& s : doc["switches"]) {
        listed.push_back(s["chassis"].get<int>());
        EXPECT_EQ(2u, s["links"].size());
    }
    EXPECT_EQ(printed, listed);
}

TEST(snapshot_diff, ports_and_zones_come_in_numeric_order) {
    const auto snapshot = [](const char* admin, const std::vector<int>& zone_members) {
        json ports = json::array();
        for (const int p : {16, 2, 1}) ports.push_back({{"port", p}, {"admin", admin}});
        json zones = json::array();
        for (const int id : {10, 3}) zones.push_back({{"id", id}, {"enabled", true}, {"ports", zone_members}});
        return json{{"format", "telvar-snapshot"},
                    {"version", 1},
                    {"switches",
                     {{{"chassis", 1},
                       {"fc_address", "0x104000"},
                       {"status", {{"code", 0}}},
                       {"identity", {{"wwn", "w1"}}},
                       {"ports", ports},
                       {"zoning", {{"hard", zones}}}}}}};
    };
    const std::string a = ::testing::TempDir() + "order_a.json", b = ::testing::TempDir() + "order_b.json";
    std::ofstream(a) << snapshot("on", {1}).dump();
    std::ofstream(b) << snapshot("off", {1, 2}).dump();
    const auto r = tvtest::run_telvar({"diff", "--all", a, b}, tvtest::local_port::as_given);
    EXPECT_EQ(1, r.status) << r.err;
    EXPECT_EQ("switch w1 (chassis 1) port 1: admin on -> off\n"
              "switch w1 (chassis 1) port 2: admin on -> off\n"
              "switch w1 (chassis 1) port 16: admin on -> off\n"
              "switch w1 (chassis 1) hard zone 3: ports gained 2\n"
              "switch w1 (chassis 1) hard zone 10: ports gained 2\n",
              r.out);
}

}  // namespace
